#include "pageeditor/editor_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace folvex::testing {

namespace {

std::string fileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void RecordingFileOps::failNth(FileCall call, int n)
{
    const std::lock_guard lock(m_mutex);
    m_failures.push_back({call, n, {}});
}

void RecordingFileOps::failFor(FileCall call, const std::string& nameContains)
{
    const std::lock_guard lock(m_mutex);
    m_failures.push_back({call, -1, nameContains});
}

std::vector<RecordedFileCall> RecordingFileOps::calls() const
{
    const std::lock_guard lock(m_mutex);
    return m_calls;
}

int RecordingFileOps::count(FileCall call) const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const RecordedFileCall& c) { return c.call == call; }));
}

int RecordingFileOps::count(FileCall call, const std::string& path) const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(), [&](const RecordedFileCall& c) {
        return c.call == call && c.path == path;
    }));
}

bool RecordingFileOps::record(FileCall call, const std::string& path, const std::string& target)
{
    const std::lock_guard lock(m_mutex);
    const int nth = static_cast<int>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const RecordedFileCall& c) { return c.call == call; }));
    m_calls.push_back({call, path, target});
    return std::any_of(m_failures.begin(), m_failures.end(), [&](const Failure& f) {
        if (f.call != call) {
            return false;
        }
        if (f.nth >= 0) {
            return f.nth == nth;
        }
        return fileName(path).find(f.nameContains) != std::string::npos;
    });
}

bool RecordingFileOps::exists(const std::string& path)
{
    return !record(FileCall::Exists, path) && m_real.exists(path);
}

std::vector<std::string> RecordingFileOps::listFiles(const std::string& folder)
{
    if (record(FileCall::List, folder)) {
        return {};
    }
    return m_real.listFiles(folder);
}

bool RecordingFileOps::remove(const std::string& path)
{
    return !record(FileCall::Remove, path) && m_real.remove(path);
}

Expected<void> RecordingFileOps::renameOver(const std::string& from, const std::string& to)
{
    if (record(FileCall::RenameOver, from, to)) {
        return Error{EIO, "injected failure"};
    }
    return m_real.renameOver(from, to);
}

Expected<void> RecordingFileOps::renameNoReplace(const std::string& from, const std::string& to)
{
    if (record(FileCall::RenameNoReplace, from, to)) {
        return Error{EIO, "injected failure"};
    }
    return m_real.renameNoReplace(from, to);
}

Expected<void> RecordingFileOps::copyOver(const std::string& from, const std::string& to)
{
    if (record(FileCall::Copy, from, to)) {
        return Error{EIO, "injected failure"};
    }
    return m_real.copyOver(from, to);
}

FIBITMAP* RecordingFileOps::loadBmp(const std::string& path)
{
    return record(FileCall::Load, path) ? nullptr : m_real.loadBmp(path);
}

bool RecordingFileOps::saveBmp(FIBITMAP* image, const std::string& path)
{
    return !record(FileCall::Save, path) && m_real.saveBmp(image, path);
}

void RecordingEditorUi::openWait(const std::string& text)
{
    EXPECT_FALSE(waitOpen) << "wait window opened twice";
    waitOpen = true;
    waitEvents.push_back("open: " + text);
}

void RecordingEditorUi::setWaitText(const std::string& text)
{
    EXPECT_TRUE(waitOpen) << "text set without a wait window";
    waitEvents.push_back("text: " + text);
}

void RecordingEditorUi::closeWait()
{
    EXPECT_TRUE(waitOpen) << "wait window closed twice";
    waitOpen = false;
    waitEvents.push_back("close");
}

void RecordingEditorUi::showNote(const std::string& text)
{
    notes.push_back(text);
}

bool RecordingEditorUi::escapeDown()
{
    ++escapePolls;
    return escapePolls <= escapeHeldPolls;
}

void RecordingEditorUi::pauseMs(int ms)
{
    pauses.push_back(ms);
}

} // namespace folvex::testing
