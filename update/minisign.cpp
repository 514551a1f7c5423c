#include "update/minisign.h"

#include <sodium.h>

#include <charconv>
#include <vector>

namespace kestrune {

namespace {

static_assert(sizeof(crypto_generichash_state) <= 384, "FileHasher's state is too small");
static_assert(alignof(crypto_generichash_state) <= 64, "FileHasher's state is under-aligned");

constexpr std::uint8_t kAlgorithmLegacy[2] = {'E', 'd'};
constexpr std::uint8_t kAlgorithmHashed[2] = {'E', 'D'};
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;
constexpr std::size_t kKeyBytes = 2 + 8 + 32;
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr char kUntrustedPrefix[] = "untrusted comment: ";

void InitSodium() {
  // Idempotent; it only fails when the system has no source of randomness,
  // which checking signatures does not need.
  static const int ready = sodium_init();
  static_cast<void>(ready);
}

crypto_generichash_state* StateOf(std::array<unsigned char, 384>& bytes) {
  return reinterpret_cast<crypto_generichash_state*>(bytes.data());
}

// Exactly `size` bytes of standard base64 (with its padding), or nothing.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text, std::size_t size) {
  InitSodium();
  std::vector<std::uint8_t> out(size + 1);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != size) {
    return std::nullopt;
  }
  out.resize(size);
  return out;
}

// The N lines of a signature or key file, each without its LF or CR LF;
// nothing when there are not exactly N (a last line end is optional, blank
// lines after it are not counted).
template <std::size_t N>
std::optional<std::array<std::string_view, N>> SplitLines(std::string_view text) {
  if (text.size() > kMaxSignatureFileSize) return std::nullopt;
  std::array<std::string_view, N> lines;
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (count == N) {
      if (!line.empty()) return std::nullopt;
      continue;
    }
    lines[count++] = line;
  }
  if (count != N) return std::nullopt;
  return lines;
}

// The value of key:value in a tab-separated trusted comment.
std::optional<std::string_view> CommentField(std::string_view comment, std::string_view key) {
  while (true) {
    const std::size_t tab = comment.find('\t');
    const std::string_view field = comment.substr(0, tab);
    if (field.size() > key.size() && field.starts_with(key) && field[key.size()] == ':') {
      return field.substr(key.size() + 1);
    }
    if (tab == std::string_view::npos) return std::nullopt;
    comment.remove_prefix(tab + 1);
  }
}

std::optional<std::uint64_t> TimestampOf(std::string_view comment) {
  const std::optional<std::string_view> value = CommentField(comment, "timestamp");
  if (!value || value->empty() || value->size() > kMaxTimestampDigits) return std::nullopt;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), number);
  if (error != std::errc() || end != value->data() + value->size()) return std::nullopt;
  return number;
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, const std::uint8_t (&prefix)[2]) {
  return bytes[0] == prefix[0] && bytes[1] == prefix[1];
}

}  // namespace

FileHasher::FileHasher() {
  InitSodium();
  crypto_generichash_init(StateOf(state_), nullptr, 0, crypto_generichash_BYTES_MAX);
}

void FileHasher::Update(std::span<const std::byte> bytes) {
  crypto_generichash_update(StateOf(state_), reinterpret_cast<const unsigned char*>(bytes.data()),
                            bytes.size());
}

FileHash FileHasher::Finish() {
  FileHash hash{};
  crypto_generichash_final(StateOf(state_), hash.data(), hash.size());
  return hash;
}

FileHash HashOfBytes(std::string_view bytes) {
  FileHasher hasher;
  hasher.Update(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
  return hasher.Finish();
}

std::optional<MinisignKey> ParseMinisignKey(std::string_view base64) {
  const std::optional<std::vector<std::uint8_t>> bytes = DecodeBase64(base64, kKeyBytes);
  if (!bytes || !StartsWith(*bytes, kAlgorithmLegacy)) return std::nullopt;
  MinisignKey key;
  std::copy(bytes->begin() + 2, bytes->begin() + 10, key.keyId.begin());
  std::copy(bytes->begin() + 10, bytes->end(), key.publicKey.begin());
  return key;
}

std::optional<std::vector<MinisignKey>> ParseMinisignKeys(std::string_view list) {
  std::vector<MinisignKey> keys;
  while (true) {
    const std::size_t semicolon = list.find(';');
    const std::optional<MinisignKey> key = ParseMinisignKey(list.substr(0, semicolon));
    if (!key) return std::nullopt;
    keys.push_back(*key);
    if (semicolon == std::string_view::npos) return keys;
    list.remove_prefix(semicolon + 1);
  }
}

const char* DescribeSignatureProblem(SignatureProblem problem) {
  switch (problem) {
    case SignatureProblem::None:
      return "signature checks out";
    case SignatureProblem::Missing:
      return "signature missing";
    case SignatureProblem::Malformed:
      return "signature file malformed";
    case SignatureProblem::LegacyAlgorithm:
      return "signed with the legacy algorithm (sign without -l)";
    case SignatureProblem::OtherKey:
      return "signed with another key";
    case SignatureProblem::NotMatching:
      return "signature does not match the file";
    case SignatureProblem::CommentNotSigned:
      return "trusted comment does not match its signature";
    case SignatureProblem::WrongFile:
      return "signed for another file name";
    case SignatureProblem::Undated:
      return "no timestamp of whole seconds in its trusted comment";
    case SignatureProblem::Older:
      return "signed before the newest release the launcher already has";
  }
  return "signature refused";
}

namespace {

// The whole check; without a hash, the file's own signature is left out and
// only what the global signature proves is checked.
SignatureCheck Verify(std::span<const MinisignKey> keys, std::string_view signatureFile,
                      const FileHash* hash, std::string_view expectedFileName) {
  SignatureCheck check;
  const auto lines = SplitLines<4>(signatureFile);
  if (!lines || !(*lines)[0].starts_with(kUntrustedPrefix) ||
      !(*lines)[2].starts_with(kTrustedPrefix)) {
    return check;
  }
  const auto signature = DecodeBase64((*lines)[1], kSignatureBytes);
  const auto global = DecodeBase64((*lines)[3], crypto_sign_BYTES);
  if (!signature || !global) return check;
  check.trustedComment = std::string((*lines)[2].substr(sizeof kTrustedPrefix - 1));
  check.timestamp = TimestampOf(check.trustedComment);

  if (StartsWith(*signature, kAlgorithmLegacy)) {
    check.problem = SignatureProblem::LegacyAlgorithm;
    return check;
  }
  if (!StartsWith(*signature, kAlgorithmHashed)) return check;
  for (std::size_t i = 0; i < keys.size() && !check.keyIndex; ++i) {
    if (std::equal(keys[i].keyId.begin(), keys[i].keyId.end(), signature->begin() + 2)) {
      check.keyIndex = i;
    }
  }
  if (!check.keyIndex) {
    check.problem = SignatureProblem::OtherKey;
    return check;
  }
  const MinisignKey& key = keys[*check.keyIndex];
  const unsigned char* ed25519 = signature->data() + 10;
  if (hash &&
      crypto_sign_verify_detached(ed25519, hash->data(), hash->size(), key.publicKey.data()) != 0) {
    check.problem = SignatureProblem::NotMatching;
    return check;
  }
  // The global signature covers the file's signature and the comment, so
  // neither the timestamp nor the file name can be changed on their own.
  std::vector<unsigned char> signedComment(ed25519, ed25519 + crypto_sign_BYTES);
  signedComment.insert(signedComment.end(), check.trustedComment.begin(),
                       check.trustedComment.end());
  if (crypto_sign_verify_detached(global->data(), signedComment.data(), signedComment.size(),
                                  key.publicKey.data()) != 0) {
    check.problem = SignatureProblem::CommentNotSigned;
    return check;
  }
  if (CommentField(check.trustedComment, "file") != expectedFileName) {
    check.problem = SignatureProblem::WrongFile;
    return check;
  }
  if (!check.timestamp) {
    check.problem = SignatureProblem::Undated;
    return check;
  }
  check.problem = SignatureProblem::None;
  return check;
}

}  // namespace

SignatureCheck VerifyMinisign(std::span<const MinisignKey> keys, std::string_view signatureFile,
                              const FileHash& hash, std::string_view expectedFileName) {
  return Verify(keys, signatureFile, &hash, expectedFileName);
}

std::optional<std::uint64_t> VerifiedTimestamp(std::span<const MinisignKey> keys,
                                               std::string_view signatureFile,
                                               std::string_view expectedFileName) {
  const SignatureCheck check = Verify(keys, signatureFile, nullptr, expectedFileName);
  if (check.problem != SignatureProblem::None) return std::nullopt;
  return check.timestamp;
}

std::optional<MinisignKey> ParseMinisignKeyFile(std::string_view text) {
  const auto lines = SplitLines<2>(text);
  if (!lines || !(*lines)[0].starts_with(kUntrustedPrefix)) return std::nullopt;
  return ParseMinisignKey((*lines)[1]);
}

}  // namespace kestrune
