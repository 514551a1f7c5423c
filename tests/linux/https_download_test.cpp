// Downloads over https from a server whose certificate comes from a test
// authority made with openssl for this run: trusted only when the test hands
// the authority to the internet object; the system's store never knows it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "tests/linux/support/child_process.h"
#include "tests/linux/support/loopback_server.h"
#include "tests/linux/support/temp_dir.h"
#include "update/download.h"

namespace kestrune {
namespace {

using testing::LoopbackServer;
using testing::ReadFileBytes;
using testing::RunToSuccess;
using testing::TempDir;
using testing::WriteFileBytes;

// A server certificate for subjectAltName, signed by the CA in dir.
void MakeServerCertificate(const TempDir& dir, const std::string& name,
                           const std::string& subjectAltName) {
  WriteFileBytes(dir.path() / (name + ".ext"),
                 "subjectAltName=" + subjectAltName +
                     "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
  RunToSuccess({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                "-nodes", "-keyout", dir.Path(name + ".key"), "-out", dir.Path(name + ".csr"),
                "-subj", "/CN=" + name, "-batch"});
  RunToSuccess({"openssl", "x509", "-req", "-in", dir.Path(name + ".csr"), "-CA",
                dir.Path("ca.pem"), "-CAkey", dir.Path("ca.key"), "-CAcreateserial", "-days", "2",
                "-out", dir.Path(name + ".pem"), "-extfile", dir.Path(name + ".ext")});
}

class HttpsDownload : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    RunToSuccess({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                  "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", dir_->Path("ca.key"),
                  "-out", dir_->Path("ca.pem"), "-days", "2", "-subj", "/CN=Kestrune Test CA",
                  "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                  "keyUsage=critical,keyCertSign,cRLSign", "-batch"});
    MakeServerCertificate(*dir_, "right", "IP:127.0.0.1,DNS:localhost");
    MakeServerCertificate(*dir_, "wrong", "IP:127.0.0.2,DNS:elsewhere.invalid");
    WriteFileBytes(dir_->path() / "root/serverlist/tool.bin", std::string(70000, 'k'));

    const auto root = dir_->path() / "root";
    right_ = new LoopbackServer({root, {}, {}, dir_->path() / "right.pem", dir_->path() / "right.key"});
    wrong_ = new LoopbackServer({root, {}, {}, dir_->path() / "wrong.pem", dir_->path() / "wrong.key"});
  }
  static void TearDownTestSuite() {
    delete wrong_;
    delete right_;
    delete dir_;
  }

  bool Download(posix::CurlInternet& internet, const LoopbackServer& server) {
    return DownloadToFile(internet, files_, "https_download_test",
                          server.origin() + "/serverlist/tool.bin", work_.Path("tool.bin"));
  }

  static posix::CurlOptions TrustingTestAuthority() {
    posix::CurlOptions options;
    options.caFile = dir_->Path("ca.pem");
    return options;
  }

  static TempDir* dir_;
  static LoopbackServer* right_;
  static LoopbackServer* wrong_;
  TempDir work_;
  posix::PosixFileSystem files_;
};

TempDir* HttpsDownload::dir_ = nullptr;
LoopbackServer* HttpsDownload::right_ = nullptr;
LoopbackServer* HttpsDownload::wrong_ = nullptr;

TEST_F(HttpsDownload, CertificateFromTheTrustedAuthorityIsAccepted) {
  posix::CurlInternet internet(TrustingTestAuthority());
  ASSERT_TRUE(Download(internet, *right_));
  EXPECT_EQ(ReadFileBytes(work_.path() / "tool.bin"), std::string(70000, 'k'));
}

TEST_F(HttpsDownload, SystemStoreDoesNotTrustAnUnknownAuthority) {
  posix::CurlInternet internet;
  EXPECT_FALSE(Download(internet, *right_));
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "tool.bin"));
}

TEST_F(HttpsDownload, CertificateForAnotherHostIsRefused) {
  posix::CurlInternet internet(TrustingTestAuthority());
  EXPECT_FALSE(Download(internet, *wrong_));
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "tool.bin"));
}

TEST_F(HttpsDownload, RedirectFromHttpsDownToPlainHttpIsRefused) {
  TempDir here;
  WriteFileBytes(here.path() / "root/serverlist/tool.bin", std::string(100, 'h'));
  LoopbackServer plain({here.path() / "root", {}, {}, {}, {}});
  WriteFileBytes(here.path() / "rules.json",
                 R"({"/serverlist/tool.bin": {"redirect": ")" + plain.origin() +
                     R"(/serverlist/tool.bin", "code": 302}})");
  LoopbackServer moving({dir_->path() / "root", here.path() / "rules.json", {}, dir_->path() / "right.pem",
                         dir_->path() / "right.key"});
  posix::CurlInternet internet(TrustingTestAuthority());
  EXPECT_FALSE(Download(internet, moving));
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "tool.bin"));
}

}  // namespace
}  // namespace kestrune
