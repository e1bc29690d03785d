#include "e2e/support/shared_servers.h"

#include <cctype>
#include <exception>
#include <memory>
#include <stdexcept>

namespace mailferry::testing {
namespace {

// A server started on first use; a failed start is remembered so later tests fail at once
// with the same reason instead of trying again.
template <typename Server>
class Lazy {
 public:
  Server& Get() {
    if (error_) std::rethrow_exception(error_);
    if (!server_) {
      try {
        server_ = std::make_unique<Server>();
      } catch (...) {
        error_ = std::current_exception();
        throw;
      }
    }
    return *server_;
  }
  void Reset() { server_.reset(); }

 private:
  std::unique_ptr<Server> server_;
  std::exception_ptr error_;
};

Lazy<DovecotServer>& Dovecot() {
  static Lazy<DovecotServer> dovecot;
  return dovecot;
}

Lazy<PostfixServer>& Postfix() {
  static Lazy<PostfixServer> postfix;
  return postfix;
}

class SharedServersEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    Dovecot().Reset();
    Postfix().Reset();
  }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SharedServersEnvironment);

}  // namespace

DovecotServer& SharedDovecot() { return Dovecot().Get(); }
PostfixServer& SharedPostfix() { return Postfix().Get(); }

std::string FreshName(std::string_view prefix) {
  static int counter = 0;
  std::string name(prefix);
  name += std::to_string(++counter);
  if (const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info()) {
    name += '-';
    for (char c : std::string(test->name())) {
      name += std::isalnum(static_cast<unsigned char>(c))
                  ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                  : '-';
    }
  }
  // Dovecot user names and local parts stay well below the usual 64-character limit.
  return name.substr(0, 60);
}

void DovecotTest::SetUp() {
  try {
    dovecot_ = &SharedDovecot();
  } catch (const std::exception& e) {
    FAIL() << "the POP3 test server is not available:\n" << e.what();
  }
}

void PostfixTest::SetUp() {
  try {
    postfix_ = &SharedPostfix();
  } catch (const std::exception& e) {
    FAIL() << "the SMTP test server is not available:\n" << e.what();
  }
}

}  // namespace mailferry::testing
