#include "audio/PulseSourceClient.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

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

}  // namespace

// One question to the server. The callbacks fill it with the main loop lock held, which the
// asking thread holds whenever it reads it.
struct TRecordRequest {
  TPulseConnection* connection = nullptr;
  bool done = false;
  int error = PA_OK;
  std::vector<TRecordSource> sources;
  std::string defaultSourceName;

  void Finish(int code) {
    done = true;
    error = code;
    connection->Signal();
  }
};

namespace {

void OnSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* userdata) {
  auto& request = *static_cast<TRecordRequest*>(userdata);
  if (eol < 0) {
    request.Finish(pa_context_errno(context));
    return;
  }
  if (eol > 0 || !info) {
    request.Finish(PA_OK);
    return;
  }
  TRecordSource source;
  source.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
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
  request.sources.push_back(std::move(source));
}

void OnServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
  auto& request = *static_cast<TRecordRequest*>(userdata);
  if (!info) {
    request.Finish(pa_context_errno(context));
    return;
  }
  request.defaultSourceName = info->default_source_name ? info->default_source_name : "";
  request.Finish(PA_OK);
}

void OnSuccess(pa_context* context, int success, void* userdata) {
  static_cast<TRecordRequest*>(userdata)->Finish(success ? PA_OK : pa_context_errno(context));
}

}  // namespace

TPulseSourceClient::TPulseSourceClient(std::chrono::milliseconds timeout)
    : timeout_(timeout), connection_(TPulseConnection::Instance()) {
  TPulseConnection::TLock lock(connection_);
  Live();
}

TPulseSourceClient::~TPulseSourceClient() = default;

pa_context* TPulseSourceClient::Live() {
  int error = PA_OK;
  pa_context* context = connection_.EnsureContext(error);
  if (!context) throw Unreachable(error);
  return context;
}

template <typename Start>
void TPulseSourceClient::Run(TRecordRequest& request, const std::string& what, Start start) {
  request.connection = &connection_;
  TPulseConnection::TLock lock(connection_);
  pa_context* context = Live();
  pa_operation* operation = start(context, &request);
  if (!operation) {
    throw EAudioRecordError(FormatMessage("%s : %s", {what, ErrorText(pa_context_errno(context))}));
  }
  // The context may be replaced while the lock is released in the wait: keep the one asked.
  pa_context_ref(context);
  connection_.WaitLocked(
      [&] { return request.done || pa_context_get_state(context) != PA_CONTEXT_READY; }, timeout_);
  const bool lost = !request.done && pa_context_get_state(context) != PA_CONTEXT_READY;
  const int lostError = pa_context_errno(context);
  pa_context_unref(context);
  // Callbacks run with the main loop lock held, which is held here: none is running, and after
  // the cancel none will run, so `request` may go out of scope.
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  if (!request.done) {
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

std::vector<TRecordSource> TPulseSourceClient::ListSources() {
  TRecordRequest request;
  Run(request, "La liste des périphériques d'entrée n'a pas pu être lue",
      [](pa_context* context, TRecordRequest* userdata) {
        return pa_context_get_source_info_list(context, &OnSourceInfo, userdata);
      });
  // In the wave service's order: real inputs first, then the monitors of outputs.
  std::stable_partition(request.sources.begin(), request.sources.end(),
                        [](const TRecordSource& source) { return !source.monitor; });
  return std::move(request.sources);
}

std::string TPulseSourceClient::DefaultSourceName() {
  TRecordRequest request;
  Run(request, "Le périphérique d'entrée par défaut n'a pas pu être lu",
      [](pa_context* context, TRecordRequest* userdata) {
        return pa_context_get_server_info(context, &OnServerInfo, userdata);
      });
  return std::move(request.defaultSourceName);
}

void TPulseSourceClient::SetActivePort(const std::string& sourceName, const std::string& portName) {
  TRecordRequest request;
  // By name rather than by index: the name is what the provider remembers, and it cannot
  // point at another source if sources come and go between the listing and this call.
  Run(request,
      FormatMessage("La ligne « %s » de « %s » n'a pas pu être choisie", {portName, sourceName}),
      [&](pa_context* context, TRecordRequest* userdata) {
        return pa_context_set_source_port_by_name(context, sourceName.c_str(), portName.c_str(),
                                                  &OnSuccess, userdata);
      });
}

}  // namespace tardivox
