#include "pdf/pdf_document.h"

#include "pdf/pdf_writer_internal.h"
#include "runtime/safe_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace folvex {

namespace {

PdfModule* installedModule = nullptr;

class SafePdfOutputFile final : public PdfOutputFile
{
public:
    explicit SafePdfOutputFile(SafeFileWriter writer)
        : m_writer(std::move(writer))
    {}

    bool write(std::string_view bytes) override { return m_writer.write(bytes); }

    Expected<void> commit() override { return m_writer.commit(); }

private:
    SafeFileWriter m_writer;
};

} // namespace

PdfModule& pdfModule()
{
    static PdfModule defaultModule;
    return installedModule != nullptr ? *installedModule : defaultModule;
}

PdfModule* installPdfModule(PdfModule* module)
{
    return std::exchange(installedModule, module);
}

PdfDocument* findPdfDocument(std::int32_t doc)
{
    PdfModule& module = pdfModule();
    const auto found = module.PdfDocuments.find(doc);
    if (found == module.PdfDocuments.end()) {
        return nullptr;
    }
    module.current = found->second;
    return module.current.get();
}

PdfDocument* currentPdfDocument()
{
    return pdfModule().current.get();
}

const Clock& pdfClock()
{
    const Clock* clock = pdfModule().clock;
    return clock != nullptr ? *clock : programClock();
}

MessageRequester* pdfMessages()
{
    MessageRequester* messages = pdfModule().messages;
    return messages != nullptr ? messages : effects().messages;
}

PdfOutputFiles& pdfOutputFiles()
{
    static SafePdfOutputFiles safeFiles;
    PdfOutputFiles* files = pdfModule().outputFiles;
    return files != nullptr ? *files : safeFiles;
}

void setPdfError(PdfDocument& document, PdfError error)
{
    document.lastErrorCode = static_cast<std::int32_t>(error);
}

PdfObject* PdfDocument::object(std::string_view reference)
{
    const std::int32_t number = PdfObjNumber(reference);
    if (number < 1 || number > static_cast<std::int64_t>(objects.size()) || reference != PdfObjRef(number)) {
        return nullptr;
    }
    return &objects[static_cast<std::size_t>(number - 1)];
}

Expected<std::unique_ptr<PdfOutputFile>> SafePdfOutputFiles::create(const std::string& targetPath)
{
    auto writer = SafeFileWriter::create(targetPath);
    if (!writer) {
        return writer.error();
    }
    return std::unique_ptr<PdfOutputFile>(std::make_unique<SafePdfOutputFile>(std::move(writer.value())));
}

Expected<std::unique_ptr<PdfSpoolFile>> PdfSpoolFile::create(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without anonymous files: a unique name, removed at once.
        std::string pattern = folder + "/folvex-spool-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            const int code = errno;
            return Error{code, folder + ": " + std::strerror(code)};
        }
        ::unlink(pattern.c_str());
    }
    return std::unique_ptr<PdfSpoolFile>(new PdfSpoolFile(fd));
}

PdfSpoolFile::PdfSpoolFile(int fd)
    : m_fd(fd)
{}

PdfSpoolFile::~PdfSpoolFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

Expected<PdfSpoolRange> PdfSpoolFile::append(std::string_view bytes)
{
    const PdfSpoolRange range{m_size, bytes.size()};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(m_size + done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int code = written < 0 ? errno : EIO;
            return Error{code, std::string("spool file: ") + std::strerror(code)};
        }
        done += static_cast<std::size_t>(written);
    }
    m_size += bytes.size();
    return range;
}

bool PdfSpoolFile::read(std::uint64_t offset, char* buffer, std::size_t size) const
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(m_fd, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace folvex
