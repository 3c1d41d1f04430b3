// Scene files: JSON documents describing a document's element tree, selection and 3D
// view. Saving writes the canonical form, so loading a saved file and saving it again
// gives the same bytes.
#pragma once

#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "Document.h"
#include "HostExport.h"
#include "Journal.h"

namespace qvhost {

class ComponentCarrier;

// Makes the attached components a scene file names (by component name).
class QVHOST_API ComponentMaker {
 public:
  virtual ~ComponentMaker() = default;
  virtual TQVCountedPtr<ComponentCarrier> Make(Scene& scene, const std::string& component) = 0;
  // Told the JSON path of the component about to be made and to read its data.
  virtual void Reading(const std::string& where) { (void)where; }
};

// Reads a scene file; throws HostError naming the file, the JSON path and what was
// expected there. A scene with attached components needs `maker`; a module's exception
// while a component reads its data goes on to the caller. The file's texts are taken
// into `codePage`, or when it is 0 into the file's own "codePage" (1252 without one); a
// text that code page cannot hold is refused. Once the file is checked, before any
// component is made, the process is switched to that code page (QVPlatform_SetACP):
// what modules see, and what module texts in the journal are read in.
QVHOST_API TQVCountedPtr<Document> LoadSceneFile(const std::string& path, std::shared_ptr<Journal> journal,
                                                 ComponentMaker* maker = nullptr, uint32_t codePage = 0);
// The same from text; `name` stands for the file in messages.
QVHOST_API TQVCountedPtr<Document> ParseScene(const std::string& text, const std::string& name,
                                              std::shared_ptr<Journal> journal, ComponentMaker* maker = nullptr,
                                              uint32_t codePage = 0);

// The canonical text of a document, its texts back from its code page to UTF-8.
QVHOST_API std::string SceneText(Document& document);
// The same handed to `write` piece by piece as it is made, so that it need not be held whole.
QVHOST_API void WriteSceneText(Document& document, const std::function<void(const std::string&)>& write);
// Writes the canonical text through a temporary file renamed into place.
QVHOST_API void SaveSceneFile(Document& document, const std::string& path);


// Writes `contents` to a temporary file beside `path` and renames it into place; on any
// failure nothing is left behind and HostError says why.
QVHOST_API void WriteFileAtomically(const std::string& path, const std::string& contents);

}  // namespace qvhost
