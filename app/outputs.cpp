// SPDX-License-Identifier: MIT
// The run's outputs looked at before anything is read: what they are, and
// whether they would overwrite an input or each other.
#include "output.h"
#include "run_parts.h"

#include <vector>

namespace {

struct Role {
  const char* what;  // "the packed file", "the main font", ...
  std::string name;  // as the user gave it
  std::string path;  // where it is
};

std::vector<Role> OutputRoles(const RunOptions& options) {
  std::vector<Role> outputs = {
      {"the packed file", options.packedName, OutputPath(options.packedName)}};
  if (options.image != ImageKind::None)
    outputs.push_back({"the image", options.imageName, OutputPath(options.imageName)});
  return outputs;
}

std::vector<Role> InputRoles(const RunConfig& config, const char* settingsFile) {
  std::vector<Role> inputs;
  if (settingsFile != nullptr) inputs.push_back({"the settings file", settingsFile, settingsFile});
  if (!config.mainFont.empty())
    inputs.push_back({"the main font", config.mainFont, config.mainFont});
  if (!config.secondFont.empty())
    inputs.push_back({"the second font", config.secondFont, config.secondFont});
  return inputs;
}

// A usage error naming both, for the first output that is another role's file.
bool NoneTheSame(const std::vector<Role>& outputs, const std::vector<Role>& inputs, int& status) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    std::vector<const Role*> others;
    for (const Role& input : inputs) others.push_back(&input);
    for (size_t j = i + 1; j < outputs.size(); ++j) others.push_back(&outputs[j]);
    for (const Role* other : others) {
      if (!SameFile(outputs[i].path.c_str(), other->path.c_str())) continue;
      const std::string problem = std::string(outputs[i].what) + " " + OutputName(outputs[i].name) +
                                  " and " + other->what + " " + OutputName(other->name) +
                                  " are the same file";
      status = ReportUsageError(problem.c_str());
      return false;
    }
  }
  return true;
}

bool NoneRefused(const std::vector<Role>& outputs, int& status) {
  bool allowed = true;
  for (const Role& output : outputs) {
    const char* refused = RefusedOutputText(OutputKindOf(output.path.c_str()));
    if (refused == nullptr) continue;
    Report("cannot write %s: it is %s", OutputName(output.name).c_str(), refused);
    allowed = false;
  }
  if (!allowed) status = 1;
  return allowed;
}

}  // namespace

std::string OutputPath(const std::string& name) { return name == "-" ? "/dev/stdout" : name; }

std::string OutputName(const std::string& name) { return name == "-" ? "standard output" : name; }

bool OutputsAllowed(const RunOptions& options, const RunConfig& config, const char* settingsFile,
                    int& status) {
  const std::vector<Role> outputs = OutputRoles(options);
  return NoneTheSame(outputs, InputRoles(config, settingsFile), status) &&
         NoneRefused(outputs, status);
}
