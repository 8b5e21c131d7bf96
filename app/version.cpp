// --version: the program's own version resource, read as the platform's version
// API reads it. Each block of a version resource is its length, the length of
// its value, its type, its key as wide text, then its value and its child blocks,
// each part starting on a four-byte boundary.

#include <span>

#include "app/launcher.h"
#include "platform/formats/dialog_template.h"
#include "platform/formats/little_endian.h"
#include "platform/framework/afxwin.h"

namespace app {
namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFileVersionField = 8;  // most then least significant DWORD
constexpr std::size_t kBlockHeaderBytes = 6;
constexpr WORD kTextValue = 1;

struct Block {
  std::size_t length = 0;
  platform::WString key;
  std::span<const std::byte> value;
  WORD type = 0;
  std::vector<Block> children;
};

// One block at the start of `bytes`; nothing when it does not fit.
std::optional<Block> ReadBlock(std::span<const std::byte> bytes) {
  const platform::LittleEndianReader in(bytes);
  const auto length = in.u16(0);
  const auto valueLength = in.u16(2);
  const auto type = in.u16(4);
  if (!length || !valueLength || !type || *length < kBlockHeaderBytes || *length > bytes.size()) return std::nullopt;
  Block block;
  block.length = *length;
  block.type = *type;
  std::size_t at = kBlockHeaderBytes;
  auto key = platform::ReadResourceText(in, at, *length);
  if (!key) return std::nullopt;
  block.key = std::move(*key);
  at = platform::AlignToDword(at);
  // A text value counts its characters, a binary one its bytes.
  const std::size_t valueBytes = *type == kTextValue ? std::size_t{*valueLength} * 2 : *valueLength;
  if (at + valueBytes > *length) return std::nullopt;
  block.value = bytes.subspan(at, valueBytes);
  for (at = platform::AlignToDword(at + valueBytes); at < *length;) {
    auto child = ReadBlock(bytes.subspan(at, *length - at));
    if (!child) break;
    at = platform::AlignToDword(at + child->length);
    block.children.push_back(std::move(*child));
  }
  return block;
}

std::string Dotted(std::uint32_t most, std::uint32_t least) {
  return std::to_string(most >> 16) + "." + std::to_string(most & 0xFFFF) + "." + std::to_string(least >> 16) + "." +
         std::to_string(least & 0xFFFF);
}

std::string TextOf(std::span<const std::byte> value) {
  platform::WString text;
  const platform::LittleEndianReader in(value);
  for (std::size_t at = 0; in.has(at, 2) && *in.u16(at) != 0; at += 2) text += static_cast<WCHAR>(*in.u16(at));
  return platform::ToUtf8(text);
}

}  // namespace

std::string VersionText() {
  const HINSTANCE module = AfxGetResourceHandle();
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
  const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const auto* bytes = static_cast<const std::byte*>(loaded ? ::LockResource(loaded) : nullptr);
  const auto root = bytes ? ReadBlock({bytes, ::SizeofResource(module, found)}) : std::nullopt;
  const platform::LittleEndianReader fixed(root ? root->value : std::span<const std::byte>());
  if (fixed.u32(0) != kFixedInfoSignature) return "Bramble: no version information\n";

  std::string text = "Bramble " + Dotted(*fixed.u32(kFileVersionField), *fixed.u32(kFileVersionField + 4)) + "\n";
  for (const Block& info : root->children) {
    if (info.key != _T("StringFileInfo")) continue;
    for (const Block& table : info.children) {
      for (const Block& entry : table.children) text += platform::ToUtf8(entry.key) + ": " + TextOf(entry.value) + "\n";
    }
  }
  return text;
}

}  // namespace app
