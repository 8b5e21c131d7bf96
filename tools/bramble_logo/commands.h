#pragma once
// The commands behind the command line, for the dispatcher in cli.cpp.

#include <QImage>
#include <cstddef>
#include <optional>
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

// PNG bytes, or none when Qt cannot encode the picture.
std::vector<std::byte> EncodePng(const QImage& picture);

}  // namespace logo_tool
