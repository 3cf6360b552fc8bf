#pragma once
// Stand-ins for the page editor's effects: a file-operations port that passes every call on to a real
// one, records it and fails the calls a test names, and an editor user interface that records wait
// texts and notes and answers the Esc test from a script.

#include "imageops/page_op_context.h"
#include "runtime/file_ops.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace folvex::testing {

enum class FileCall
{
    Exists,
    List,
    Remove,
    RenameOver,
    RenameNoReplace,
    Copy,
    Load,
    Save,
};

struct RecordedFileCall
{
    FileCall call;
    std::string path;   // the path, or the source of a rename
    std::string target; // the target of a rename or a copy
};

// Thread-safe: the page work of "Anwenden" loads and saves on worker threads.
class RecordingFileOps final : public FileOps
{
public:
    explicit RecordingFileOps(FileOps& real)
        : m_real(real)
    {}

    // The n-th call (0-based) of the kind fails without reaching the real port; -1 = never.
    void failNth(FileCall call, int n);

    // Calls of a kind on paths whose file name contains the text fail.
    void failFor(FileCall call, const std::string& nameContains);

    std::vector<RecordedFileCall> calls() const;
    int count(FileCall call) const;
    int count(FileCall call, const std::string& path) const;

    bool exists(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder) override;
    bool remove(const std::string& path) override;
    Expected<void> renameOver(const std::string& from, const std::string& to) override;
    Expected<void> renameNoReplace(const std::string& from, const std::string& to) override;
    Expected<void> copyOver(const std::string& from, const std::string& to) override;
    FIBITMAP* loadBmp(const std::string& path) override;
    bool saveBmp(FIBITMAP* image, const std::string& path) override;

private:
    // Records the call; true when it is to fail.
    bool record(FileCall call, const std::string& path, const std::string& target = {});

    struct Failure
    {
        FileCall call;
        int nth = -1;
        std::string nameContains;
    };

    FileOps& m_real;
    mutable std::mutex m_mutex;
    std::vector<RecordedFileCall> m_calls;
    std::vector<Failure> m_failures;
};

class RecordingEditorUi final : public EditorUi
{
public:
    void openWait(const std::string& text) override;
    void setWaitText(const std::string& text) override;
    void closeWait() override;
    void showNote(const std::string& text) override;
    bool escapeDown() override;
    void pauseMs(int ms) override;

    // Every wait-window event as "open: ", "text: " or "close".
    std::vector<std::string> waitEvents;
    std::vector<std::string> notes;
    bool waitOpen = false;
    // escapeDown answers true this many times, then false.
    int escapeHeldPolls = 0;
    int escapePolls = 0;
    std::vector<int> pauses;
};

} // namespace folvex::testing
