// Signatures made by the real minisign tool, checked by the launcher's own
// code: one by one, then through the whole start-up on the fake platform.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"
#include "update/entries.h"
#include "update/minisign.h"
#include "update/signed_files.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

FileHash HashOf(std::string_view bytes) {
  FileHasher hasher;
  hasher.Update(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
  return hasher.Finish();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A key pair made for this test run, without a password, and signatures
// made with it by minisign itself.
class Signer {
 public:
  explicit Signer(const std::string& name)
      : dir_(fs::temp_directory_path() / ("kestrune-sign-" + name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Run("-G -W -p '" + (dir_ / "k.pub").string() + "' -s '" + (dir_ / "k.sec").string() + "'");
    std::istringstream pub(ReadText(dir_ / "k.pub"));
    std::getline(pub, publicKey_);
    std::getline(pub, publicKey_);
  }
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;
  ~Signer() { fs::remove_all(dir_); }

  const std::string& PublicKey() const { return publicKey_; }

  // The .minisig of bytes signed as name; legacy signs the whole file.
  std::string Sign(const std::string& bytes, const std::string& name, long timestamp = 1700000000,
                   bool legacy = false) {
    const fs::path file = dir_ / "payload";
    std::ofstream(file, std::ios::binary) << bytes;
    Run(std::string(legacy ? "-S -l" : "-S") + " -s '" + (dir_ / "k.sec").string() + "' -m '" +
        file.string() + "' -t 'timestamp:" + std::to_string(timestamp) + "\tfile:" + name +
        "\thashed' -x '" + (dir_ / "payload.minisig").string() + "'");
    return ReadText(dir_ / "payload.minisig");
  }

 private:
  static void Run(const std::string& arguments) {
    const std::string command = std::string(KESTRUNE_MINISIGN_PROGRAM) + " " + arguments + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  fs::path dir_;
  std::string publicKey_;
};

TEST(Minisign, ThePublishedTestVectorChecksOut) {
  const std::optional<MinisignKey> key =
      ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3");
  ASSERT_TRUE(key);
  const std::string signature =
      "untrusted comment: signature from minisign secret key\n"
      "RUQf6LRCGA9i559r3g7V1qNyJDApGip8MfqcadIgT9CuhV3EMhHoN1mGTkUidF/z7SrlQgXdy8ofjb7bNJJylDOocrCo8KLzZwo=\n"
      "trusted comment: timestamp:1633700835\tfile:test\tprehashed\n"
      "wLMDjy9FLAuxZ3q4NlEvkgtyhrr0gtTu6KC4KBJdITbbOeAi1zBIYo0v4iTgt8jJpIidRJnp94ABQkJAgAooBQ==\n";
  const SignatureCheck check = VerifyMinisign(*key, signature, HashOf("test"), "test");
  EXPECT_EQ(check.problem, SignatureProblem::None);
  EXPECT_EQ(check.timestamp, 1633700835u);
  EXPECT_EQ(VerifyMinisign(*key, signature, HashOf("Test"), "test").problem,
            SignatureProblem::NotMatching);
}

TEST(Minisign, KeysThatAreNotMinisignKeysAreRefused) {
  EXPECT_FALSE(ParseMinisignKey(""));
  EXPECT_FALSE(ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GF"));  // cut
  EXPECT_FALSE(ParseMinisignKey("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3 "));
}

class Signatures : public ::testing::Test {
 protected:
  SignatureProblem Check(const std::string& signature, const std::string& bytes,
                         const std::string& name = "setup.exe") {
    return VerifyMinisign(*ParseMinisignKey(signer.PublicKey()), signature, HashOf(bytes), name)
        .problem;
  }
  Signer signer{"unit"};
};

TEST_F(Signatures, EveryWayASignatureIsRefused) {
  const std::string bytes = "MZ a program";
  const std::string good = signer.Sign(bytes, "setup.exe");
  EXPECT_EQ(Check(good, bytes), SignatureProblem::None);

  std::string windowsLineEnds;
  for (char c : good) windowsLineEnds += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Check(windowsLineEnds, bytes), SignatureProblem::None);

  EXPECT_EQ(Check(good, "MZ a progran"), SignatureProblem::NotMatching);
  EXPECT_EQ(Check(good, bytes, "other.exe"), SignatureProblem::WrongFile);
  EXPECT_EQ(Check(signer.Sign(bytes, "setup.exe", 1700000000, true), bytes),
            SignatureProblem::LegacyAlgorithm);
  Signer other("other");
  EXPECT_EQ(Check(other.Sign(bytes, "setup.exe"), bytes), SignatureProblem::OtherKey);

  std::string renamed = good;
  renamed.replace(renamed.find("file:setup.exe"), 14, "file:other.exe");
  EXPECT_EQ(Check(renamed, bytes, "other.exe"), SignatureProblem::CommentNotSigned);
  EXPECT_EQ(Check(good.substr(0, good.size() / 2), bytes), SignatureProblem::Malformed);
  EXPECT_EQ(Check(good + std::string(kMaxSignatureFileSize, '\n'), bytes),
            SignatureProblem::Malformed);
}

// ------------------------------------------------- through the start-up

constexpr char kBase[] = "http://192.0.2.10/serverlist/";

class SignedStartup : public ::testing::Test {
 protected:
  void Publish(const std::string& name, const std::string& body, bool sign = true) {
    fake::FakeResponse response;
    response.body = body;
    sys.internet.responses[EntryAddress(kBase, name)] = response;
    if (sign) PublishSignature(name, signer.Sign(body, SignedFileName(name), timestamp));
  }
  void PublishSignature(const std::string& name, const std::string& signature) {
    fake::FakeResponse response;
    response.body = signature;
    sys.internet.responses[EntryAddress(kBase, name) + ".minisig"] = response;
  }
  void Start() {
    RunKestrune(sys.application, sys.platform, Addresses{kBase, "", "", signer.PublicKey()});
  }
  bool Has(const std::string& name) const { return sys.files.files.count(sys.InWorkDir(name)) != 0; }
  const std::string& Content(const std::string& name) const {
    return sys.files.files.at(sys.InWorkDir(name));
  }

  Signer signer{"startup"};
  fake::FakePlatform sys;
  long timestamp = 1700000000;
};

TEST_F(SignedStartup, SignedFilesAreKeptAndTheManifestsSignatureBesideIt) {
  Publish("updater.txt", "T\r\nsetup.exe\r\nSetup\r\ntools\\help.pdf\r\nHelp\r\n");
  Publish("setup.exe", "MZ");
  Publish("tools\\help.pdf", "%PDF");
  sys.files.directories.insert(sys.InWorkDir("tools"));
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_TRUE(sys.desktop.informations.empty());
  EXPECT_EQ(Content("setup.exe"), "MZ");
  EXPECT_EQ(Content("tools\\help.pdf"), "%PDF");
  EXPECT_EQ(Content("updater1.txt.minisig"),
            sys.internet.responses[std::string(kBase) + "updater.txt.minisig"].body);
  EXPECT_TRUE(sys.application.shown);
}

TEST_F(SignedStartup, AFileThatDoesNotCheckOutIsNeverKeptAndTheOthersGoOn) {
  Publish("updater.txt", "T\nchanged.exe\nA\nswapped.exe\nB\nunsigned.exe\nC\ngood.exe\nD\n");
  Publish("changed.exe", "MZ 1");
  sys.internet.responses[std::string(kBase) + "changed.exe"].body = "MZ 2";
  Publish("swapped.exe", "MZ swapped");
  PublishSignature("swapped.exe", signer.Sign("MZ swapped", "good.exe"));
  Publish("unsigned.exe", "MZ", false);
  Publish("good.exe", "MZ good");
  sys.desktop.confirmAnswers = {true};
  Start();
  EXPECT_EQ(sys.desktop.informations,
            std::vector<std::string>(3, "Problem with function update. Please contact Tavimo"));
  EXPECT_FALSE(Has("changed.exe"));
  EXPECT_FALSE(Has("swapped.exe"));
  EXPECT_FALSE(Has("unsigned.exe"));
  EXPECT_EQ(Content("good.exe"), "MZ good");
  EXPECT_FALSE(sys.application.shown);
}

TEST_F(SignedStartup, AManifestThatDoesNotCheckOutKeepsThePreviousCopyAndItsSignature) {
  sys.files.files[sys.InWorkDir("updater1.txt")] = "Old\n";
  sys.files.files[sys.InWorkDir("updater1.txt.minisig")] = signer.Sign("Old\n", "updater.txt");
  const std::string keptSignature = Content("updater1.txt.minisig");
  // Unsigned; then signed with the wrong name; then validly signed but
  // older than the kept copy: each is a failed manifest fetch.
  for (int attempt = 0; attempt < 3; ++attempt) {
    sys.internet.responses.clear();
    sys.desktop.informations.clear();
    if (attempt == 0) Publish("updater.txt", "New\n", false);
    if (attempt == 1) {
      Publish("updater.txt", "New\n", false);
      PublishSignature("updater.txt", signer.Sign("New\n", "updater1.txt"));
    }
    if (attempt == 2) {
      timestamp = 1600000000;
      Publish("updater.txt", "New\n");
    }
    Start();
    EXPECT_EQ(sys.desktop.informations,
              std::vector<std::string>{"Problem with updater.txt. Please contact Tavimo"})
        << attempt;
    EXPECT_EQ(Content("updater1.txt"), "Old\n") << attempt;
    EXPECT_EQ(Content("updater1.txt.minisig"), keptSignature) << attempt;
  }
}

TEST_F(SignedStartup, AnOverlongSignatureIsRefused) {
  Publish("updater.txt", "T\n");
  fake::FakeResponse huge;
  huge.body = std::string(1 << 20, 'x');
  huge.announceLength = false;
  sys.internet.responses[std::string(kBase) + "updater.txt.minisig"] = huge;
  Start();
  EXPECT_EQ(sys.desktop.informations,
            std::vector<std::string>{"Problem with updater.txt. Please contact Tavimo"});
  EXPECT_FALSE(Has("updater1.txt"));
}

}  // namespace
}  // namespace kestrune
