#include "cli/file_digests.h"

#include "run/patch_run.h"
#include "verify/archive_digest.h"
#include "verify/md5.h"

namespace {

class CNoteTrace : public CTrace {
 public:
  explicit CNoteTrace(std::vector<std::string>* notes) : m_notes(notes) {}
  void Line(const std::string& text) override {
    if (m_notes != nullptr) m_notes->push_back(text);
  }

 private:
  std::vector<std::string>* m_notes;
};

}  // namespace

std::string ArchiveDigestOfFile(CFileSystem& files, const std::string& path,
                                std::vector<std::string>* notes) {
  // The digest code reads g_installFolder + name; these commands run no patch, so the
  // folder is empty while they use it and the name is the whole path.
  const std::string saved = g_installFolder;
  g_installFolder.clear();
  CNoteTrace trace(notes);
  std::string digest = files.Exists(path) ? GetArchiveDigest(files, trace, path) : std::string();
  g_installFolder = saved;
  return digest;
}

std::string CFileDigests::ArchiveDigest(const std::string& path) {
  return ArchiveDigestOfFile(m_files, path, &m_notes);
}

std::string CFileDigests::ContentDigest(const std::string& path) {
  std::string hex;
  if (!DigestFile(m_files, path, &hex)) return std::string();
  return hex;
}
