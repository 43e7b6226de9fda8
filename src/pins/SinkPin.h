#pragma once
// The input pin: at most one source.
//
// Connecting happens here whichever side asks (ConnectTo on either pin): the sink records its
// source, the source appends an entry (a signal source then sends the sink its remembered
// start operation alone), the connection probe is sent, and the types of the source's other
// connections are negotiated again. Connecting to the current source does nothing;
// ConnectTo(nullptr) disconnects. A connection is refused (false, nothing changes) when the
// types do not meet or when the source depends on this sink (a loop through components).
//
// Upstream notification (Notify): under the global read section, every pin of the upstream
// lock list is read-locked, most upstream first, and the operation goes to the source with the
// sink's own delivery function for the negotiated type. The list holds the pins a notification
// from the source down to this sink passes (the source, its component's inputs, their
// sources, ...), so an upstream notification takes the group locks in the same order as a
// downstream one. It is rebuilt whenever a connection on the way changes.
//
// Threads, ownership and failures as in Pin.h.

#include <vector>

#include "pins/SourcePin.h"

namespace tardivox {

class TOWSinkPin : public TOWStreamPin {
 public:
  explicit TOWSinkPin(TComponent* owner) : TOWStreamPin(owner) {}
  // Leaves the source without a stop, leaves the state link, forgets this pin.
  ~TOWSinkPin() override;

  TOWPinKind GetPinKind() const override { return TOWPinKind::Sink; }
  bool ConnectTo(TOWBasicPin* pin, TOWBasicPin* after = nullptr) override;
  // Leaves the state link and the source (a signal source sends this sink a stop first).
  void Disconnect() override;
  bool CanConnectTo(TOWBasicPin* pin) override;
  bool DependsOn(const TOWBasicPin* pin) override;
  bool IsConnected() const override { return source_ != nullptr; }
  bool IsConnectedTo(const TOWBasicPin* pin) const override {
    return pin != nullptr && pin == source_;
  }
  int LinkCount() const override { return source_ ? 1 : 0; }
  TOWBasicPin* GetLink(int index) const override { return index == 0 ? source_ : nullptr; }
  // Upstream notification; answers the source's answer, false when unconnected.
  bool Notify(IOWNotifyOperation& op) override;
  void ForgetPin(TOWBasicPin* pin) override;

  TOWBasicPin* SourcePin() const { return source_; }
  const Guid& NegotiatedType() const { return negotiatedType_; }
  // When set, the sink accepts any source that offers a type it implements, whatever its own
  // type list holds. The owner sets it right after creating the pin.
  bool AcceptAnyType() const { return acceptAnyType_; }
  void SetAcceptAnyType(bool value) { acceptAnyType_ = value; }
  const std::vector<TOWSourcePin*>& PassThroughSources() const { return passThroughSources_; }
  const std::vector<TOWBasicPin*>& UpstreamLockList() const { return upstreamLockList_; }

  // Sink-side negotiation with `source`, whose side proposed `proposed`: the source's
  // restricted types from the last to the first that the source supports; `proposed` when it
  // is among them, otherwise the first met; null when none.
  Guid NegotiateWith(TOWSourcePin* source, const Guid& proposed);
  // Rebuilds the upstream lock lists of the sinks downstream of this pin's component, then
  // this pin's own. Under the global write section.
  void RebuildUpstreamLockList();

 protected:
  bool VetoesType(const Guid& id) override;

 private:
  friend class TOWSourcePin;
  friend class TOWSinkPinList;

  TOWSourcePin* Source() const;
  bool DependsOnImpl(const TOWBasicPin* pin, std::vector<const TOWSourcePin*>& active);
  bool TypeCompatible(TOWSourcePin* source);
  // Asks the source to remove this sink, then clears the connection and rebuilds.
  void DisconnectFromSource();
  // Clears the connection without involving the source.
  void ClearSource();
  void RebuildImpl(int depth);
  void CollectUpstream(std::vector<std::vector<TOWBasicPin*>>& branches, size_t branch, int depth);

  TOWBasicPin* source_ = nullptr;
  TOWDeliveryFunction upstreamFunction_;
  Guid negotiatedType_;
  bool acceptAnyType_ = false;
  std::vector<TOWSourcePin*> passThroughSources_;
  std::vector<TOWBasicPin*> upstreamLockList_;
};

}  // namespace tardivox
