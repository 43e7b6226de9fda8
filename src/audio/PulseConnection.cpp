#include "audio/PulseConnection.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tardivox {

TPulseConnection& TPulseConnection::Instance() {
  static TPulseConnection connection;
  return connection;
}

TPulseConnection::TPulseConnection() {
  mainloop_ = pa_threaded_mainloop_new();
  if (!mainloop_) throw std::bad_alloc();
  pa_threaded_mainloop_set_name(mainloop_, "tardivox-pulse");
  if (pa_threaded_mainloop_start(mainloop_) < 0) {
    pa_threaded_mainloop_free(mainloop_);
    throw std::runtime_error("cannot start the PulseAudio main loop");
  }
}

TPulseConnection::~TPulseConnection() {
  {
    TLock lock(*this);
    DropContext();
  }
  pa_threaded_mainloop_stop(mainloop_);
  pa_threaded_mainloop_free(mainloop_);
}

pa_time_event* TPulseConnection::ArmTimeout(std::chrono::milliseconds timeout, TTimeout* timer) {
  timeval when;
  pa_gettimeofday(&when);
  pa_timeval_add(&when, static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC);
  // The timer lives on the waiter's stack and the event is freed before the wait returns. The
  // flag is set by the loop's thread with the loop lock held, which the waiter holds whenever
  // it reads the flag.
  return Api()->time_new(
      Api(), &when,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
        auto* t = static_cast<TTimeout*>(userdata);
        t->expired = true;
        t->connection->Signal();
      },
      timer);
}

void TPulseConnection::ContextStateChanged(pa_context* context, void* userdata) {
  auto* self = static_cast<TPulseConnection*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  if (context == self->context_) {
    if (state == PA_CONTEXT_READY) {
      self->contextWasReady_ = true;
      // Devices may have come and gone while there was no connection.
      self->deviceChanges_.fetch_add(1, std::memory_order_release);
      // Which server this is: EnsureContext waits for the answer.
      self->serverKnown_ = false;
      if (pa_operation* op = pa_context_get_server_info(context, &ServerInfo, self)) {
        pa_operation_unref(op);
      } else {
        self->serverKnown_ = true;
      }
      pa_context_set_subscribe_callback(context, &ServerEvent, self);
      const auto mask = static_cast<pa_subscription_mask_t>(
          PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
      if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr)) {
        pa_operation_unref(op);
      }
    } else if (!PA_CONTEXT_IS_GOOD(state) && self->contextWasReady_) {
      self->contextWasReady_ = false;
      std::fprintf(stderr, "tardivox: lost the connection to the sound server: %s\n",
                   pa_strerror(pa_context_errno(context)));
    }
  }
  self->Signal();
}

void TPulseConnection::ServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
  auto* self = static_cast<TPulseConnection*>(userdata);
  if (context != self->context_) return;  // a context dropped meanwhile
  const char* name = info ? info->server_name : nullptr;
  self->onPipeWire_.store(name && std::strstr(name, "PipeWire"), std::memory_order_release);
  self->serverKnown_ = true;
  self->Signal();
}

void TPulseConnection::ServerEvent(pa_context*, pa_subscription_event_type_t event, uint32_t,
                                   void* userdata) {
  auto* self = static_cast<TPulseConnection*>(userdata);
  const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const unsigned type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  // Devices change their state (running, suspended) and volume all the time: only arrivals,
  // departures and the server's defaults change what the lists show.
  const bool devices =
      (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SOURCE) &&
      (type == PA_SUBSCRIPTION_EVENT_NEW || type == PA_SUBSCRIPTION_EVENT_REMOVE);
  if (devices || facility == PA_SUBSCRIPTION_EVENT_SERVER) {
    self->deviceChanges_.fetch_add(1, std::memory_order_release);
  }
}

bool TPulseConnection::Ready() const {
  return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool TPulseConnection::Connect(int& error) {
  // A connection that failed (the server went away) is replaced by a new one.
  if (context_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) DropContext();
  if (context_) return true;
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tardivox");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "tardivox");
  context_ = pa_context_new_with_proplist(Api(), "Tardivox", props);
  pa_proplist_free(props);
  if (!context_) {
    error = PA_ERR_INTERNAL;
    return false;
  }
  ++generation_;
  pa_context_set_state_callback(context_, &ContextStateChanged, this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    error = pa_context_errno(context_);
    DropContext();
    return false;
  }
  return true;
}

bool TPulseConnection::StartConnect() {
  if (Ready()) return true;
  int error = PA_OK;
  Connect(error);
  return Ready();
}

pa_context* TPulseConnection::EnsureContext(int& error) {
  error = PA_OK;
  if (!Connect(error)) return nullptr;
  // Another thread may be waiting for the same connection and may replace it meanwhile: hold
  // on to the one waited for.
  pa_context* context = pa_context_ref(context_);
  const bool settled = WaitLocked(
      [context] {
        const pa_context_state_t s = pa_context_get_state(context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      },
      kConnectTimeout);
  const bool ready = pa_context_get_state(context) == PA_CONTEXT_READY && context == context_;
  // What the streams opened next must know about the server; without an answer in time the
  // previous server's kind holds.
  if (ready) WaitLocked([this] { return serverKnown_ || !Ready(); }, kServerInfoTimeout);
  if (!ready) {
    error = !settled ? PA_ERR_TIMEOUT : pa_context_errno(context);
    if (error == PA_OK) error = PA_ERR_CONNECTIONTERMINATED;
    if (context == context_) DropContext();
  }
  pa_context_unref(context);
  return ready ? context_ : nullptr;
}

void TPulseConnection::DropContext() {
  if (!context_) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_set_subscribe_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
  contextWasReady_ = false;
  ++generation_;
}

}  // namespace tardivox
