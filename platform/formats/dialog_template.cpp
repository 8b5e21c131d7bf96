#include "platform/formats/dialog_template.h"

#include "platform/formats/little_endian.h"

namespace platform {
namespace {

constexpr WORD kNameIsNumber = 0xFFFF;
constexpr std::size_t kHeaderBytes = 18;  // style, extended style, item count, x, y, cx, cy

// Reads the template front to back; any field past the end stops it for good.
class Cursor {
 public:
  explicit Cursor(std::span<const std::byte> bytes) : m_in(bytes) {}
  bool ok() const { return m_ok; }

  WORD Word() {
    const auto value = m_in.u16(m_at);
    m_ok = m_ok && value.has_value();
    m_at += 2;
    return value.value_or(0);
  }
  DWORD Dword() {
    const auto value = m_in.u32(m_at);
    m_ok = m_ok && value.has_value();
    m_at += 4;
    return value.value_or(0);
  }
  std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
  WString Text() { return Checked(ReadResourceText(m_in, m_at, m_in.size())); }
  NameOrNumber Name() { return Checked(ReadNameOrNumber(m_in, m_at, m_in.size())); }
  void AlignToDword() { m_at = platform::AlignToDword(m_at); }
  void Skip(std::size_t count) {
    m_ok = m_ok && m_in.has(m_at, count);
    m_at += count;
  }

 private:
  template <typename Field>
  Field Checked(std::optional<Field> field) {
    m_ok = m_ok && field.has_value();
    return field.value_or(Field{});
  }

  LittleEndianReader m_in;
  std::size_t m_at = 0;
  bool m_ok = true;
};

}  // namespace

std::optional<WString> ReadResourceText(const LittleEndianReader& in, std::size_t& at, std::size_t end) {
  WString text;
  for (;;) {
    const auto unit = at + 2 <= end ? in.u16(at) : std::nullopt;
    if (!unit) return std::nullopt;
    at += 2;
    if (*unit == 0) return text;
    text += static_cast<WCHAR>(*unit);
  }
}

std::optional<NameOrNumber> ReadNameOrNumber(const LittleEndianReader& in, std::size_t& at, std::size_t end) {
  NameOrNumber name;
  const auto first = at + 2 <= end ? in.u16(at) : std::nullopt;
  if (!first) return std::nullopt;
  if (*first == kNameIsNumber) {
    name.number = at + 4 <= end ? in.u16(at + 2) : std::nullopt;
    at += 4;
    return name.number ? std::optional(name) : std::nullopt;
  }
  auto text = ReadResourceText(in, at, end);
  if (!text) return std::nullopt;
  name.text = std::move(*text);
  return name;
}

std::optional<DialogTemplate> ParseDialogTemplate(std::span<const std::byte> bytes) {
  const LittleEndianReader in(bytes);
  if (!in.has(0, kHeaderBytes)) return std::nullopt;
  if (in.u16(2) == kNameIsNumber) return std::nullopt;  // the extended format's signature

  Cursor cursor(bytes);
  DialogTemplate dialog;
  dialog.style = cursor.Dword();
  dialog.exStyle = cursor.Dword();
  const WORD count = cursor.Word();
  dialog.x = cursor.Short();
  dialog.y = cursor.Short();
  dialog.cx = cursor.Short();
  dialog.cy = cursor.Short();
  dialog.menu = cursor.Name();
  dialog.windowClass = cursor.Name();
  dialog.title = cursor.Text();
  if (dialog.style & DS_SETFONT) {
    dialog.fontPoints = cursor.Word();
    dialog.fontName = cursor.Text();
  }
  for (WORD i = 0; i < count && cursor.ok(); ++i) {
    cursor.AlignToDword();
    DialogItem item{};
    item.style = cursor.Dword();
    item.exStyle = cursor.Dword();
    item.x = cursor.Short();
    item.y = cursor.Short();
    item.cx = cursor.Short();
    item.cy = cursor.Short();
    item.id = static_cast<std::int16_t>(cursor.Word());
    item.windowClass = cursor.Name();
    item.title = cursor.Name();
    cursor.Skip(cursor.Word());  // creation data, which no control here takes
    dialog.items.push_back(std::move(item));
  }
  if (!cursor.ok()) return std::nullopt;
  return dialog;
}

RECT ItemRectOnScreen(const DialogTemplate& dialog, const DialogItem& item) {
  const auto edge = [](LONG units, LONG templateUnits, LONG screenPixels) {
    if (templateUnits <= 0) return LONG{0};
    return static_cast<LONG>((2 * static_cast<std::int64_t>(units) * screenPixels + templateUnits) /
                             (2 * static_cast<std::int64_t>(templateUnits)));
  };
  return {edge(item.x, dialog.cx, kScreenWidth), edge(item.y, dialog.cy, kScreenHeight),
          edge(item.x + item.cx, dialog.cx, kScreenWidth), edge(item.y + item.cy, dialog.cy, kScreenHeight)};
}

}  // namespace platform
