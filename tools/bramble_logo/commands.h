#pragma once
// The commands behind the command line, for the dispatcher in cli.cpp.

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/framework/storage.h"
#include "platform/posix/posix_io.h"
#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool {

// One command's arguments after parsing; the dispatcher has checked which
// options the command takes and how many operands it gets.
struct Arguments {
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> root;
  std::optional<std::string> fit;
  std::optional<std::string> background;
  std::optional<std::string> model;
  std::optional<std::string> systemVersion;
  bool dryRun = false;
  bool noVerify = false;
  bool quiet = false;  // -q: errors only
  bool json = false;   // --json: the summary as a JSON object on standard output

  // What --json prints when the command ends (program, readback): the command
  // fills it in, Complain adds the error.
  mutable nlohmann::ordered_json summary = nlohmann::ordered_json::object();
  // The data went to standard output, so the summary goes to standard error.
  mutable bool dataOnStandardOutput = false;
};

int RunCheck(const Arguments& args);
int RunPrepare(const Arguments& args);
int RunConvert(const Arguments& args);
int RunProgram(const Arguments& args);
int RunReadback(const Arguments& args);
int RunShow(const Arguments& args);
int RunStartup(const Arguments& args);
int RunMakeTerminal(const Arguments& args);

// "bramble-logo: message" on standard error; returns `exit`'s code.
int Complain(const Arguments& args, const std::string& message, Exit exit);

// Wrong usage: one line on standard error that says where to read about it (the
// command's own help, or the tool's before a command is known). The usage status.
int UsageError(const Arguments& args, const std::string& message);

// A file's name as --json gives it: as text under `key` and, where the name is
// not UTF-8 (the text then has U+FFFD for each byte that is not), also its exact
// bytes in base64 under `key`_base64, so that a script can open it again.
void PutFileName(nlohmann::ordered_json& summary, const std::string& key, const std::string& name);

// A line for the user on standard output, unless -q or --json asked for none.
[[gnu::format(printf, 2, 3)]] void Say(const Arguments& args, const char* format, ...);

// A JSON value on one line of standard output (of standard error when the data
// went to standard output); text that is not UTF-8 is replaced, not refused
// (PutFileName keeps a name's bytes).
void PrintJson(const nlohmann::ordered_json& value, bool toStandardError = false);

// The converter prints the dialog's diagnostic lines on standard output. Set aside
// while it runs, they are passed on where the caller chooses, or dropped.
class ConverterLines {
 public:
  explicit ConverterLines(bool setAside);
  ~ConverterLines();
  ConverterLines(const ConverterLines&) = delete;
  ConverterLines& operator=(const ConverterLines&) = delete;

  // Standard output is itself again; the lines set aside go to `showOn`, if any.
  void Restore(std::FILE* showOn);

 private:
  platform::UniqueFile m_kept;
  platform::UniqueFd m_saved;
};

// What an output holds, chosen by its name.
enum class Format { kBmp, kPng, kBin, kRaw };

// The format that an output's name asks for among those the command writes; a
// name without an extension ("-", a device) gets the first. Any other extension
// is a usage complaint that lists the accepted ones, and nothing.
std::optional<Format> OutputFormat(const Arguments& args, const std::filesystem::path& output,
                                   std::initializer_list<Format> accepted);

// The logo's pixels as a bitmap or PNG file; nothing, with `error`, when that fails.
std::vector<std::byte> PictureFile(Format format, std::span<const std::byte> rgb, std::string& error);

}  // namespace logo_tool
