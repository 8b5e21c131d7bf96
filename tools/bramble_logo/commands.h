#pragma once
// The commands behind the command line, for the dispatcher in cli.cpp.

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool {

// One command's arguments after parsing; the dispatcher has checked which
// options the command takes and how many operands it gets.
struct Arguments {
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> root;
  std::optional<std::string> fit;
  bool dryRun = false;
  bool noVerify = false;
};

int RunCheck(const Arguments& args);
int RunPrepare(const Arguments& args);
int RunConvert(const Arguments& args);
int RunProgram(const Arguments& args);
int RunReadback(const Arguments& args);
int RunShow(const Arguments& args);
int RunStartup(const Arguments& args);

// "bramble-logo COMMAND: message" on standard error; returns `exit`'s code.
int Complain(const Arguments& args, const std::string& message, Exit exit);

// What an output holds, chosen by its name.
enum class Format { kBmp, kPng, kBin };

// The format that an output's name asks for among those the command writes; a
// name without an extension ("-", a device) gets the first. Any other extension
// is a usage complaint that lists the accepted ones, and nothing.
std::optional<Format> OutputFormat(const Arguments& args, const std::filesystem::path& output,
                                   std::initializer_list<Format> accepted);

// The logo's pixels as a bitmap or PNG file; nothing, with `error`, when that fails.
std::vector<std::byte> PictureFile(Format format, std::span<const std::byte> rgb, std::string& error);

}  // namespace logo_tool
