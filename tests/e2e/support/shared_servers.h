// One Dovecot and one Postfix server per test program, started when a test first asks for it
// and stopped when the program's tests end (also after failures). Tests share the servers but
// not their mail: each uses mailboxes named by FreshName. Test support only.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "e2e/support/dovecot_server.h"
#include "e2e/support/postfix_server.h"

namespace mailferry::testing {

// The shared servers. The first call starts the server; when that failed, this and every later
// call raise std::runtime_error with the reason.
DovecotServer& SharedDovecot();
PostfixServer& SharedPostfix();

// A mailbox name (also usable as the local part of an address) no other call in this program
// returns: `prefix`, a counter and the running test's name, lower case, safe for both servers.
std::string FreshName(std::string_view prefix = "user");

// Base fixtures: fail the test with the server's start-up error instead of running it.
class DovecotTest : public ::testing::Test {
 protected:
  void SetUp() override;
  DovecotServer& dovecot() { return *dovecot_; }

 private:
  DovecotServer* dovecot_ = nullptr;
};

class PostfixTest : public ::testing::Test {
 protected:
  void SetUp() override;
  PostfixServer& postfix() { return *postfix_; }

 private:
  PostfixServer* postfix_ = nullptr;
};

}  // namespace mailferry::testing
