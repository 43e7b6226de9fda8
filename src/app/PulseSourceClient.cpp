#include "app/PulseSourceClient.h"

#include <pulse/pulseaudio.h>

#include <condition_variable>
#include <mutex>
#include <utility>

namespace tardivox {
namespace {

std::string ErrorText(int error) {
  const char* text = pa_strerror(error);
  return text ? text : "erreur inconnue";
}

EAudioRecordError Unreachable(int error) {
  return EAudioRecordError(
      FormatMessage("Le serveur de son est injoignable : %s", {ErrorText(error)}));
}

// Holds the main loop's lock for a scope. The library's objects may be touched only under it
// once the loop's thread runs.
class TMainloopLock {
 public:
  explicit TMainloopLock(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) {
    pa_threaded_mainloop_lock(mainloop_);
  }
  TMainloopLock(const TMainloopLock&) = delete;
  TMainloopLock& operator=(const TMainloopLock&) = delete;
  ~TMainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }

 private:
  pa_threaded_mainloop* mainloop_;
};

}  // namespace

// One main loop and one context: one connection to the server. It is never reused after the
// server went away; TPulseSourceClient replaces it.
class TPulseSourceClient::TConnection {
 public:
  explicit TConnection(std::chrono::milliseconds timeout);
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;
  ~TConnection() { Close(); }

  bool Ready() {
    std::lock_guard lock(mutex_);
    return state_ == PA_CONTEXT_READY;
  }

  std::vector<TRecordSource> ListSources();
  std::string DefaultSourceName();
  void SetActivePort(const std::string& sourceName, const std::string& portName);

 private:
  // One question to the server. The callbacks fill it under mutex_; the asking thread reads it
  // once the answer came or the operation was cancelled.
  struct TRequest {
    TConnection* connection = nullptr;
    bool done = false;
    int error = PA_OK;
    std::vector<TRecordSource> sources;
    std::string defaultSourceName;
  };

  static void OnState(pa_context* context, void* userdata);
  static void OnSourceInfo(pa_context* context, const pa_source_info* info, int eol,
                           void* userdata);
  static void OnServerInfo(pa_context* context, const pa_server_info* info, void* userdata);
  static void OnSuccess(pa_context* context, int success, void* userdata);
  void Finish(TRequest& request, int error);

  // Starts an operation under the main loop's lock and waits for its answer, for the loss of
  // the connection or for the timeout, whichever comes first. Raises in the last two cases and
  // when the server answered with an error; `what` opens that message.
  template <typename Start>
  void Run(TRequest& request, const std::string& what, Start start);
  void Close();

  const std::chrono::milliseconds timeout_;
  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;

  std::mutex mutex_;
  std::condition_variable changed_;
  // The context's state as last reported, guarded by mutex_. It starts as connecting because
  // the first report may come after the connect call returns.
  pa_context_state_t state_ = PA_CONTEXT_CONNECTING;
  int lostError_ = PA_OK;  // guarded by mutex_: why the connection failed
};

TPulseSourceClient::TConnection::TConnection(std::chrono::milliseconds timeout)
    : timeout_(timeout) {
  mainloop_ = pa_threaded_mainloop_new();
  if (!mainloop_) throw Unreachable(PA_ERR_INTERNAL);
  context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Tardivox");
  if (!context_) {
    Close();
    throw Unreachable(PA_ERR_INTERNAL);
  }
  pa_context_set_state_callback(context_, &OnState, this);
  // No autospawn: a program that only lists devices must not start a sound server behind the
  // user's back. The loop's thread is not running yet, so no lock is needed here.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    const int error = pa_context_errno(context_);
    Close();
    throw Unreachable(error);
  }
  if (pa_threaded_mainloop_start(mainloop_) < 0) {
    Close();
    throw Unreachable(PA_ERR_INTERNAL);
  }
  int error = PA_OK;
  {
    std::unique_lock lock(mutex_);
    const bool settled = changed_.wait_for(lock, timeout_, [this] {
      return state_ == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state_);
    });
    if (!settled) {
      error = PA_ERR_TIMEOUT;
    } else if (state_ != PA_CONTEXT_READY) {
      error = lostError_ != PA_OK ? lostError_ : PA_ERR_CONNECTIONREFUSED;
    }
  }
  if (error != PA_OK) {
    Close();
    throw Unreachable(error);
  }
}

void TPulseSourceClient::TConnection::Close() {
  if (!mainloop_) return;
  if (context_) {
    TMainloopLock lock(mainloop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
  // Stopping a loop whose thread never started is harmless.
  pa_threaded_mainloop_stop(mainloop_);
  pa_threaded_mainloop_free(mainloop_);
  mainloop_ = nullptr;
}

void TPulseSourceClient::TConnection::OnState(pa_context* context, void* userdata) {
  auto* self = static_cast<TConnection*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  std::lock_guard lock(self->mutex_);
  self->state_ = state;
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
    self->lostError_ = pa_context_errno(context);
  }
  self->changed_.notify_all();
}

void TPulseSourceClient::TConnection::Finish(TRequest& request, int error) {
  std::lock_guard lock(mutex_);
  request.done = true;
  request.error = error;
  changed_.notify_all();
}

void TPulseSourceClient::TConnection::OnSourceInfo(pa_context* context, const pa_source_info* info,
                                                   int eol, void* userdata) {
  auto& request = *static_cast<TRequest*>(userdata);
  if (eol < 0) {
    request.connection->Finish(request, pa_context_errno(context));
    return;
  }
  if (eol > 0 || !info) {
    request.connection->Finish(request, PA_OK);
    return;
  }
  TRecordSource source;
  source.name = info->name ? info->name : "";
  // An empty description falls back to the name, as the wave service names its devices.
  source.description = info->description && *info->description ? info->description : source.name;
  for (uint32_t i = 0; i < info->n_ports; ++i) {
    const pa_source_port_info* port = info->ports[i];
    if (!port) continue;
    TRecordPort line;
    line.name = port->name ? port->name : "";
    line.description = port->description && *port->description ? port->description : line.name;
    source.ports.push_back(std::move(line));
  }
  std::lock_guard lock(request.connection->mutex_);
  request.sources.push_back(std::move(source));
}

void TPulseSourceClient::TConnection::OnServerInfo(pa_context* context, const pa_server_info* info,
                                                   void* userdata) {
  auto& request = *static_cast<TRequest*>(userdata);
  if (!info) {
    request.connection->Finish(request, pa_context_errno(context));
    return;
  }
  {
    std::lock_guard lock(request.connection->mutex_);
    request.defaultSourceName = info->default_source_name ? info->default_source_name : "";
  }
  request.connection->Finish(request, PA_OK);
}

void TPulseSourceClient::TConnection::OnSuccess(pa_context* context, int success, void* userdata) {
  auto& request = *static_cast<TRequest*>(userdata);
  request.connection->Finish(request, success ? PA_OK : pa_context_errno(context));
}

template <typename Start>
void TPulseSourceClient::TConnection::Run(TRequest& request, const std::string& what, Start start) {
  request.connection = this;
  pa_operation* operation = nullptr;
  {
    TMainloopLock lock(mainloop_);
    operation = start(context_, &request);
    if (!operation) {
      throw EAudioRecordError(
          FormatMessage("%s : %s", {what, ErrorText(pa_context_errno(context_))}));
    }
  }
  bool done = false;
  bool lost = false;
  int lostError = PA_OK;
  {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout_, [&] { return request.done || state_ != PA_CONTEXT_READY; });
    done = request.done;
    lost = state_ != PA_CONTEXT_READY;
    lostError = lostError_;
  }
  {
    // Callbacks run under the main loop's lock, so once it is held none is running; after the
    // cancel none will run, and `request` may go out of scope.
    TMainloopLock lock(mainloop_);
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
    pa_operation_unref(operation);
  }
  if (!done) {
    if (lost) {
      throw EAudioRecordError(FormatMessage("La connexion au serveur de son a été perdue : %s",
                                            {ErrorText(lostError)}));
    }
    throw EAudioRecordError(FormatMessage("%s : %s", {what, ErrorText(PA_ERR_TIMEOUT)}));
  }
  if (request.error != PA_OK) {
    throw EAudioRecordError(FormatMessage("%s : %s", {what, ErrorText(request.error)}));
  }
}

std::vector<TRecordSource> TPulseSourceClient::TConnection::ListSources() {
  TRequest request;
  Run(request, "La liste des périphériques d'entrée n'a pas pu être lue",
      [](pa_context* context, TRequest* userdata) {
        return pa_context_get_source_info_list(context, &OnSourceInfo, userdata);
      });
  return std::move(request.sources);
}

std::string TPulseSourceClient::TConnection::DefaultSourceName() {
  TRequest request;
  Run(request, "Le périphérique d'entrée par défaut n'a pas pu être lu",
      [](pa_context* context, TRequest* userdata) {
        return pa_context_get_server_info(context, &OnServerInfo, userdata);
      });
  return std::move(request.defaultSourceName);
}

void TPulseSourceClient::TConnection::SetActivePort(const std::string& sourceName,
                                                    const std::string& portName) {
  TRequest request;
  // By name rather than by index: the name is what the provider remembers, and it cannot
  // point at another source if sources come and go between the listing and this call.
  Run(request,
      FormatMessage("La ligne « %s » de « %s » n'a pas pu être choisie", {portName, sourceName}),
      [&](pa_context* context, TRequest* userdata) {
        return pa_context_set_source_port_by_name(context, sourceName.c_str(), portName.c_str(),
                                                  &OnSuccess, userdata);
      });
}

TPulseSourceClient::TPulseSourceClient(std::chrono::milliseconds timeout)
    : timeout_(timeout), connection_(std::make_unique<TConnection>(timeout)) {}

TPulseSourceClient::~TPulseSourceClient() = default;

TPulseSourceClient::TConnection& TPulseSourceClient::Live() {
  if (connection_ && connection_->Ready()) return *connection_;
  // The old connection is closed before the new one is tried, so a server that stays away
  // never leaves more than one loop thread behind.
  connection_.reset();
  connection_ = std::make_unique<TConnection>(timeout_);
  return *connection_;
}

std::vector<TRecordSource> TPulseSourceClient::ListSources() {
  return Live().ListSources();
}

std::string TPulseSourceClient::DefaultSourceName() {
  return Live().DefaultSourceName();
}

void TPulseSourceClient::SetActivePort(const std::string& sourceName, const std::string& portName) {
  Live().SetActivePort(sourceName, portName);
}

}  // namespace tardivox
