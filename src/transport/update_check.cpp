#include "transport/update_check.h"

#include <exception>
#include <utility>

#include "dialup/internet_probe.h"
#include "transport/http.h"

namespace mailferry {
namespace {

std::string VersionQuery() {
  std::string query = kVersionQueryFormat;
  query.replace(query.find("%s"), 2, kProgramVersion);
  return query;
}

}  // namespace

std::string UpdateService::BaseUrl() const {
  std::string url = "http://" + host;
  if (port != kDefaultHttpPort) url += ":" + std::to_string(port);
  return url + kUpdateServicePath;
}

UpdateCheck::UpdateCheck(UpdateCheckUi& ui, std::function<bool()> is_internet_connected,
                         UpdateService service, SocketLayer& layer)
    : ui_(ui),
      is_internet_connected_(std::move(is_internet_connected)),
      service_(std::move(service)),
      layer_(layer) {}

bool UpdateCheck::DefaultOnlineProbe() { return IsInternetConnected(); }

void UpdateCheck::CheckWithDialUp(TRasManager& ras, bool ras_enabled,
                                  std::string_view ras_connection) {
  int entry = -1;
  if (!is_internet_connected_() && ras_enabled) {
    entry = ras.IndexOfEntry(ras_connection);
    if (entry >= 0) ras.Dial(entry);
  }
  // Dial returns before the line is up; a check that finds the machine still offline is skipped.
  if (is_internet_connected_()) CheckForUpdate();
  if (entry >= 0) ras.HangUp(entry);
}

void UpdateCheck::CheckForUpdate() {
  try {
    TMfHTTP http(layer_);
    http.SetSilentServerBound(service_.read_bound);
    http.SetConnectTimeout(static_cast<int>(service_.read_bound.count()));
    if (!is_internet_connected_()) return;
    http.SetHandleRedirects(false);

    const std::string base = service_.BaseUrl();
    if (http.FetchUrl(base + kUpdateProbeDocument) != kUpdateProbeBody) return;
    const std::string latest = http.FetchUrl(base + VersionQuery());
    if (latest == kProgramVersion) {
      http.CloseConnection();
      ui_.ShowLatestVersionMessage();
      return;
    }

    const std::string page_url = base + kAnnouncementDocument;
    std::string html;
    try {
      html = http.FetchUrl(page_url);
    } catch (const std::exception&) {
      // The news stands without its page: the window still offers the link to it.
    }
    // The window may stay open for long; the server need not keep the connection meanwhile.
    http.CloseConnection();
    ui_.ShowUpdatePage(page_url, html);
  } catch (...) {
    // A failed check is silent by design: the user asked in passing and sees nothing.
  }
}

}  // namespace mailferry
