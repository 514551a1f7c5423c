// Signatures in the format of the minisign tool: the maker signs the
// release's list of hashes, and the launcher keeps nothing the list does not
// vouch for under the key it was built with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A signature file is four short lines; anything longer is refused without
// being read whole.
inline constexpr std::size_t kMaxSignatureFileSize = 4096;

// What a signature covers: the BLAKE2b-512 hash of the file's bytes.
using FileHash = std::array<std::uint8_t, 64>;

// Hashes a file block by block, so memory does not grow with its size.
class FileHasher {
 public:
  FileHasher();
  void Update(std::span<const std::byte> bytes);
  FileHash Finish();

 private:
  // libsodium's BLAKE2b state, kept as opaque aligned bytes so that no
  // header of the library reaches the code that includes this one.
  alignas(64) std::array<unsigned char, 384> state_{};
};

// The hash of bytes held in memory.
FileHash HashOfBytes(std::string_view bytes);

struct MinisignKey {
  std::array<std::uint8_t, 8> keyId{};
  std::array<std::uint8_t, 32> publicKey{};
};

// The public key as minisign writes it on the second line of its .pub
// file (base64 of "Ed", the key id and the Ed25519 key); nothing when it is
// not one.
std::optional<MinisignKey> ParseMinisignKey(std::string_view base64);

// The keys a launcher is built with: one or more such lines separated by
// ';' (a CMake list). Nothing when the text is empty or any entry is not a
// key: a launcher that knows fewer keys than its maker gave would refuse
// releases the maker expects it to take.
std::optional<std::vector<MinisignKey>> ParseMinisignKeys(std::string_view list);

// Why a signature is refused; None when it checks out.
enum class SignatureProblem {
  None,
  Missing,           // not served, an error status, or cut off
  Malformed,         // not four lines of the expected lengths, or too long
  LegacyAlgorithm,   // signed over the whole file instead of its hash
  OtherKey,          // made with another key
  NotMatching,       // the signature does not match the file's bytes
  CommentNotSigned,  // the trusted comment was changed after signing
  WrongFile,         // signed for another file name
  Undated,           // no timestamp:N of whole seconds in the trusted comment
  Older,             // signed before the newest release the launcher already has
};

// A few words for the maker's tool and the tests ("made with another key").
const char* DescribeSignatureProblem(SignatureProblem problem);

struct SignatureCheck {
  SignatureProblem problem = SignatureProblem::Malformed;
  // Which of the keys it was made with, once its key id matched one.
  std::optional<std::size_t> keyIndex;
  std::string trustedComment;
  std::optional<std::uint64_t> timestamp;  // the trusted comment's timestamp:N
};

// The longest timestamp read: 19 digits always fit in 64 bits, so no
// number overflows however it is written.
inline constexpr std::size_t kMaxTimestampDigits = 19;

// Checks a signature file against the hash of a file's bytes: the
// prehashed algorithm only, made with one of keys (by its id), the
// signature, the global signature over the trusted comment, the comment's
// file: naming expectedFileName, and its timestamp: 1 to 19 digits and
// nothing else.
SignatureCheck VerifyMinisign(std::span<const MinisignKey> keys, std::string_view signatureFile,
                              const FileHash& hash, std::string_view expectedFileName);
inline SignatureCheck VerifyMinisign(const MinisignKey& key, std::string_view signatureFile,
                                     const FileHash& hash, std::string_view expectedFileName) {
  return VerifyMinisign(std::span<const MinisignKey>(&key, 1), signatureFile, hash,
                        expectedFileName);
}

// The timestamp of a signature file made with one of keys for
// expectedFileName, proven by its global signature, which covers the
// trusted comment: the file it signed is not needed. Nothing when any of
// that does not check out.
std::optional<std::uint64_t> VerifiedTimestamp(std::span<const MinisignKey> keys,
                                               std::string_view signatureFile,
                                               std::string_view expectedFileName);

// The key of a minisign .pub file's text: an "untrusted comment:" line,
// then the key line; nothing when the text is not one.
std::optional<MinisignKey> ParseMinisignKeyFile(std::string_view text);

}  // namespace kestrune
