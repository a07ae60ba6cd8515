#pragma once
// Certificates made while the tests run, so no key material lives in the repository, and a
// temporary file to hand one to the code under test.

#include <string>
#include <string_view>

#include "support/http_test_server.h"

namespace guild::testing {

// A fresh P-256 key and a self-signed certificate for 127.0.0.1 and localhost, valid from
// an hour ago for a day. Empty texts when OpenSSL fails.
TlsIdentity MakeSelfSignedIdentity(std::string_view commonName = "guild-onebot test");

// A file in the temporary directory holding `contents`, removed with the object.
class TempFile {
 public:
  explicit TempFile(std::string_view contents);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }  // "" when it could not be written

 private:
  std::string path_;
};

}  // namespace guild::testing
