// https against a server whose certificate is made for this test run: verification is on
// unless switched off, and the operator's CA file is trusted in addition to the system's.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "http/curl_transport.h"
#include "http/web_request.h"
#include "http/web_request_inet.h"
#include "http/web_request_object.h"
#include "http/web_request_xml_http.h"
#include "support/http_test_server.h"
#include "support/log_capture.h"
#include "support/scoped_environment.h"
#include "support/test_certificate.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::Reply;
using testing::ScopedEnvironment;
using testing::TempFile;

class TlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const testing::TlsIdentity identity = testing::MakeSelfSignedIdentity();
    ASSERT_FALSE(identity.certificatePem.empty());
    server_ = std::make_unique<HttpTestServer>(identity);
    ASSERT_TRUE(server_->Started());
    server_->SetHandler(
        [](const ReceivedRequest&) -> Reply { return HttpResponse("200 OK", "secret"); });
    authority_ = std::make_unique<TempFile>(identity.certificatePem);
    ASSERT_FALSE(authority_->path().empty());
    // A certificate of another run: a valid bundle that does not vouch for the server.
    stranger_ =
        std::make_unique<TempFile>(testing::MakeSelfSignedIdentity("stranger").certificatePem);
  }
  static void TearDownTestSuite() {
    server_.reset();
    authority_.reset();
    stranger_.reset();
  }
  void SetUp() override { server_->ClearRequests(); }

  static std::unique_ptr<HttpTestServer> server_;
  static std::unique_ptr<TempFile> authority_;
  static std::unique_ptr<TempFile> stranger_;
  ScopedEnvironment noExtraAuthority_{"GUILD_ONEBOT_CA_FILE", std::nullopt};
  ScopedEnvironment verifying_{"GUILD_ONEBOT_INSECURE_TLS", std::nullopt};
};

std::unique_ptr<HttpTestServer> TlsTest::server_;
std::unique_ptr<TempFile> TlsTest::authority_;
std::unique_ptr<TempFile> TlsTest::stranger_;

struct Routine {
  std::string name;
  std::function<std::string(const std::string& url)> bodyOf;
};

// Every routine runs over the verified layer.
const std::vector<Routine> kRoutines = {
    {"WebRequest", [](const std::string& url) { return WebRequest({.url = url}).responseBytes; }},
    {"WebRequestInet", [](const std::string& url) { return WebRequestInet({.url = url}).bytes; }},
    {"WebRequestXmlHttp",
     [](const std::string& url) { return WebRequestXmlHttp({.url = url}).bytes; }},
    {"WebRequestObject",
     [](const std::string& url) { return WebRequestObject({.url = url}).bytes; }},
};

TEST_F(TlsTest, UntrustedCertificateFailsBeforeAnythingIsSent) {
  testing::LogCapture quiet;
  for (const Routine& routine : kRoutines) {
    EXPECT_EQ(routine.bodyOf(server_->Url("/")), "") << routine.name;
  }
  EXPECT_EQ(WebRequest({.url = server_->Url("/")}).statusText, "711 发送请求失败!");
  EXPECT_EQ(Transfer({.url = server_->Url("/")}).failure, TransportFailure::kSend);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(TlsTest, ExtraAuthorityFileMakesItTrusted) {
  ScopedEnvironment extra("GUILD_ONEBOT_CA_FILE", authority_->path());
  testing::LogCapture quiet;
  for (const Routine& routine : kRoutines) {
    EXPECT_EQ(routine.bodyOf(server_->Url("/")), "secret") << routine.name;
  }
  EXPECT_EQ(WebRequest({.url = server_->Url("/")}).statusText, "200 OK");
}

TEST_F(TlsTest, OtherAuthoritiesOrAMissingFileDoNotHelp) {
  for (const std::string& path : {stranger_->path(), std::string("/nonexistent/ca.pem")}) {
    ScopedEnvironment extra("GUILD_ONEBOT_CA_FILE", path);
    EXPECT_EQ(WebRequest({.url = server_->Url("/")}).statusText, "711 发送请求失败!") << path;
  }
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(TlsTest, InsecureSwitchTurnsVerificationOff) {
  {
    ScopedEnvironment insecure("GUILD_ONEBOT_INSECURE_TLS", "1");
    const WebRequestResult result = WebRequest({.url = server_->Url("/")});
    EXPECT_EQ(result.statusText, "200 OK");
    EXPECT_EQ(result.text, "secret");
  }
  // Only "1" switches it off.
  ScopedEnvironment other("GUILD_ONEBOT_INSECURE_TLS", "yes");
  EXPECT_EQ(WebRequest({.url = server_->Url("/")}).statusText, "711 发送请求失败!");
}

}  // namespace
}  // namespace guild
