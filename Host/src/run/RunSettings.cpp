// What a run's options tell the services.
#include "RunSettings.h"

#include <algorithm>
#include <filesystem>

#include "JsonCheck.h"
#include "files/HostFile.h"
#include "qvhost/HostError.h"

namespace fs = std::filesystem;

namespace qvhost {

void ApplyRunSettings(const RunRequest& request, ShellSettings& settings) {
  if (request.stopAfter >= 0) settings.stopAtAbortQuestion = request.stopAfter + 1;
  // --save is refused before the run when it names no file: the save comes after it.
  if (!request.savePath.empty()) RefuseNotAFileToWrite("--save " + ShownPath(request.savePath), request.savePath);
  if (request.saveAs.empty()) return;
  std::error_code error;
  const fs::path path = fs::absolute(request.saveAs, error);
  if (error || !path.has_filename() || path.filename() == "." || path.filename() == "..")
    throw HostError("--save-as " + ShownPath(request.saveAs) + ": expected the path of a file");
  const std::string shown = "--save-as " + ShownPath(request.saveAs);
  const std::string answer = path.lexically_normal().string();
  // The save dialog's answer is a path string of the host's: a longer path is not cut.
  if (answer.size() > kMaxPathBytes)
    throw HostError(shown + ": expected a path of at most " + std::to_string(kMaxPathBytes) + " bytes (it has " +
                    std::to_string(answer.size()) + ")");
  if (!fs::is_directory(path.parent_path(), error))
    throw HostError(shown + ": no folder " + ShownPath(path.parent_path().string()));
  RefuseNotAFileToWrite(shown, answer);
  settings.saveAnswer = answer;
}

std::vector<std::string> WrittenFiles(const ShellSettings& settings, const Journal& journal) {
  std::vector<std::string> written;
  std::error_code error;
  for (const JournalEntry& entry : journal.Entries()) {
    if (entry.kind == "save" && !settings.saveAnswer.empty() && entry.text.size() > settings.saveAnswer.size() &&
        entry.text.compare(entry.text.size() - settings.saveAnswer.size(), std::string::npos, settings.saveAnswer) == 0 &&
        fs::is_regular_file(settings.saveAnswer, error) && FileWrittenCompletely(settings.saveAnswer)) {
      written.push_back(settings.saveAnswer);
    } else if (entry.kind == "picture" && entry.text.rfind("saved ", 0) == 0) {
      const size_t end = entry.text.rfind(" (");
      written.push_back(entry.text.substr(6, end == std::string::npos ? std::string::npos : end - 6));
    }
  }
  // A file saved twice (two comments at one time) is listed once.
  std::vector<std::string> unique;
  for (const std::string& path : written)
    if (std::find(unique.begin(), unique.end(), path) == unique.end()) unique.push_back(path);
  return unique;
}

}  // namespace qvhost
