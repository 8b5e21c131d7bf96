#include "platform/window/resources.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/formats/dialog_template.h"
#include "platform/formats/little_endian.h"
#include "platform/window/window.h"

struct HINSTANCE__ {};
struct HRSRC__ {};

namespace platform::window {
namespace {

// Every entry of a .res file starts with the sizes of its data and of its header.
constexpr std::size_t kEntrySizesBytes = 8;
constexpr std::size_t kEntryTrailerBytes = 16;  // data version, flags, language, version, characteristics
// An icon group is an .ico file's directory whose 16-byte entries end in the
// number of their RT_ICON rather than in their image's offset in the file.
constexpr std::size_t kDirectoryBytes = 6;
constexpr std::size_t kGroupEntryBytes = 14;
constexpr std::size_t kFileEntryBytes = 16;
constexpr std::size_t kEntryIdField = 12;

struct Resource : HRSRC__ {
  NameOrNumber type;
  NameOrNumber name;
  std::span<const std::byte> data;
};

struct Module : HINSTANCE__ {
  const std::byte* parsedFrom = nullptr;
  std::vector<std::unique_ptr<Resource>> resources;
  std::map<WORD, std::unique_ptr<Icon>> icons;
};

// The entries of a .res file; parsing stops at the first that does not fit.
std::vector<std::unique_ptr<Resource>> ParseResourceFile(std::span<const std::byte> file) {
  std::vector<std::unique_ptr<Resource>> resources;
  const LittleEndianReader in(file);
  for (std::size_t at = 0; in.has(at, kEntrySizesBytes);) {
    const std::uint32_t dataSize = *in.u32(at);
    const std::uint32_t headerSize = *in.u32(at + 4);
    if (headerSize < kEntrySizesBytes + kEntryTrailerBytes || !in.has(at, headerSize) ||
        !in.has(at + headerSize, dataSize)) {
      break;
    }
    std::size_t field = at + kEntrySizesBytes;
    const std::size_t headerEnd = at + headerSize;
    auto type = ReadNameOrNumber(in, field, headerEnd);
    auto name = type ? ReadNameOrNumber(in, field, headerEnd) : std::nullopt;
    if (!name) break;
    // The first entry of every .res file is an empty one.
    if (dataSize != 0 || type->number != 0) {
      auto resource = std::make_unique<Resource>();
      resource->type = std::move(*type);
      resource->name = std::move(*name);
      resource->data = file.subspan(headerEnd, dataSize);
      resources.push_back(std::move(resource));
    }
    at = AlignToDword(headerEnd + dataSize);
  }
  return resources;
}

Module& TheModule() {
  static Module module;
  const WindowHost* host = CurrentWindowHost();
  const std::span<const std::byte> file = host ? host->resources : std::span<const std::byte>();
  if (module.parsedFrom != file.data()) {
    module.resources = ParseResourceFile(file);
    module.icons.clear();
    module.parsedFrom = file.data();
  }
  return module;
}

bool Matches(const NameOrNumber& have, LPCWSTR want) {
  if (IS_INTRESOURCE(want)) return have.number == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(want));
  return !have.number && SameNameNoCase(WStringView(have.text), WStringView(want));
}

Resource* Find(LPCWSTR name, LPCWSTR type) {
  for (const auto& resource : TheModule().resources) {
    if (Matches(resource->type, type) && Matches(resource->name, name)) return resource.get();
  }
  return nullptr;
}

// The group with its images as one .ico file; none when an image is missing.
std::unique_ptr<Icon> IconFile(std::span<const std::byte> group) {
  const LittleEndianReader in(group);
  const std::size_t count = in.u16(4).value_or(0);
  if (count == 0 || !in.has(kDirectoryBytes, count * kGroupEntryBytes)) return nullptr;
  auto icon = std::make_unique<Icon>();
  std::vector<std::byte>& file = icon->file;
  file.assign(group.begin(), group.begin() + kDirectoryBytes);
  file.resize(kDirectoryBytes + count * kFileEntryBytes);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirectoryBytes + i * kGroupEntryBytes;
    const Resource* image = Find(MAKEINTRESOURCEW(*in.u16(entry + kEntryIdField)), RT_ICON);
    if (!image) return nullptr;
    std::byte* out = file.data() + kDirectoryBytes + i * kFileEntryBytes;
    std::copy_n(group.begin() + static_cast<std::ptrdiff_t>(entry), kEntryIdField, out);
    PutU32(out + kEntryIdField, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), image->data.begin(), image->data.end());
  }
  return icon;
}

}  // namespace

std::span<const std::byte> ResourceBytesFrom(const void* at) {
  const auto* byte = static_cast<const std::byte*>(at);
  for (const auto& resource : TheModule().resources) {
    const std::byte* begin = resource->data.data();
    if (byte >= begin && byte < begin + resource->data.size()) {
      return resource->data.subspan(static_cast<std::size_t>(byte - begin));
    }
  }
  return {};
}

}  // namespace platform::window

using namespace platform;
using namespace platform::window;

HMODULE GetModuleHandleW(LPCWSTR moduleName) { return moduleName ? nullptr : &TheModule(); }

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (module != &TheModule() || !name || !type) return nullptr;
  return Find(name, type);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (module != &TheModule() || !resource) return nullptr;
  return const_cast<std::byte*>(static_cast<Resource*>(resource)->data.data());
}

LPVOID LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (module != &TheModule() || !resource) return 0;
  return static_cast<DWORD>(static_cast<Resource*>(resource)->data.size());
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  // Icons by number only: the program names its resources by identifier.
  if (instance != &TheModule() || !IS_INTRESOURCE(name)) return nullptr;
  const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  auto& icon = TheModule().icons[id];
  if (!icon) {
    const Resource* group = Find(name, RT_GROUP_ICON);
    if (group) icon = IconFile(group->data);
  }
  return icon.get();
}
