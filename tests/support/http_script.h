// Script pieces for HTTP conversations with the scripted server: the request lines TMfHTTP sends
// and simple responses.
#pragma once

#include <string>

#include "support/scripted_server.h"

namespace mailferry::testing {

// Expects the GET request for target with the client's default header lines in their order (the
// Host with the server's port), a Cookie line when cookie is not empty, and the empty line.
inline ScriptedServer& ExpectHttpGet(ScriptedServer& server, const std::string& target,
                                     const std::string& cookie = "") {
  server.Expect("GET " + target + " HTTP/1.1")
      .Expect("Content-Type: text/html")
      .Expect("Host: 127.0.0.1:" + std::to_string(server.port()))
      .Expect("Accept: text/html, */*")
      .Expect("User-Agent: Mozilla/3.0 (compatible; Mailferry 1.00)");
  if (!cookie.empty()) server.Expect("Cookie: " + cookie);
  return server.Expect("");
}

// A 200 response carrying body with its Content-Length.
inline std::string HttpOk(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace mailferry::testing
