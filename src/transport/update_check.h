// The update check: asks the update service whether a newer version of the program exists and
// hands the answer to the desktop program's windows, dialling first when the machine is offline
// and dialling is enabled. Runs on the calling (main) thread and blocks it while it talks.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "dialup/ras_manager.h"
#include "transport/socket_layer.h"

namespace mailferry {

// The version this program announces to the update service.
inline constexpr char kProgramVersion[] = "1.00";

// Where the update service lives: plain HTTP, every resource under kUpdateServicePath.
inline constexpr char kUpdateServerHost[] = "update.mailferry.net";
inline constexpr int kUpdateServerPort = 80;
inline constexpr char kUpdateServicePath[] = "/Mailferry/";

// The probe resource and the only body that counts as a working service (byte for byte).
inline constexpr char kUpdateProbeDocument[] = "TestConnection.html";
inline constexpr char kUpdateProbeBody[] = "<html>OK</html>";
// The version query; its body is the latest version's text.
inline constexpr char kVersionQueryFormat[] = "TestVersion.asp?version=%s";
// The page that announces a newer version.
inline constexpr char kAnnouncementDocument[] = "NewVersionAvailable.asp";

inline constexpr char kLatestVersionMessage[] =
    "You are currently using the latest version of Mailferry.";
// Caption of the window that shows the announcement page.
inline constexpr char kNewVersionCaption[] = "A New version is available!";

// The check blocks the window, so a silent update server is given up after this long (each
// connect and each wait for data), and the check ends without a word.
inline constexpr std::chrono::milliseconds kUpdateCheckReadBound = std::chrono::seconds(30);

// What the desktop program shows. Both calls come on the thread that runs the check and may
// block until the user has closed what they show; an exception they raise is swallowed.
class UpdateCheckUi {
 public:
  virtual ~UpdateCheckUi() = default;

  // The latest-version message (kLatestVersionMessage) in a message box with the information
  // icon and one OK button.
  virtual void ShowLatestVersionMessage() = 0;

  // The window captioned kNewVersionCaption, shown modally, with the announcement page: url is
  // its address (for a link that opens it in the desktop's browser), html the page as fetched,
  // empty when fetching it failed.
  virtual void ShowUpdatePage(const std::string& url, const std::string& html) = 0;
};

// The update service's address and the check's time bound; tests point them at loopback.
struct UpdateService {
  std::string host = kUpdateServerHost;
  int port = kUpdateServerPort;
  std::chrono::milliseconds read_bound = kUpdateCheckReadBound;

  // "http://<host>[:<port>]/Mailferry/": the port appears when it is not 80.
  std::string BaseUrl() const;
};

class UpdateCheck {
 public:
  // is_internet_connected answers whether the machine is online (the dial-up module's probe by
  // default). The UI, the probe's targets and the layer must outlive the check.
  explicit UpdateCheck(UpdateCheckUi& ui,
                       std::function<bool()> is_internet_connected = DefaultOnlineProbe,
                       UpdateService service = {}, SocketLayer& layer = SocketLayer::Process());

  // The steps of the "Check for update" menu entry: when offline with dialling enabled, dial the
  // entry named ras_connection (if the phonebook has it); if online now, CheckForUpdate; then
  // hang the dialled entry up. Errors of Dial and HangUp propagate; the check's own never do.
  void CheckWithDialUp(TRasManager& ras, bool ras_enabled, std::string_view ras_connection);

  // The check proper. Online, it fetches the probe resource; only the exact probe body goes on
  // to the version query. A version of kProgramVersion shows the latest-version message, any
  // other answer the announcement page. Every failure (connection, HTTP status, redirect, a
  // silent server, the UI) ends the check without a message. Never raises.
  void CheckForUpdate();

 private:
  static bool DefaultOnlineProbe();

  UpdateCheckUi& ui_;
  std::function<bool()> is_internet_connected_;
  UpdateService service_;
  SocketLayer& layer_;
};

}  // namespace mailferry
