// The file layout of a document: header, objects in number order, cross-reference table and trailer.
// The writer counts every byte so that each cross-reference line carries its object's offset.
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <array>
#include <cerrno>
#include <cstdio>

namespace folvex {

namespace {

constexpr std::size_t SpoolChunkSize = 1 << 16;

class CountingOutput
{
public:
    explicit CountingOutput(PdfOutputFile& output)
        : m_output(output)
    {}

    bool put(std::string_view bytes)
    {
        if (m_ok && !bytes.empty()) {
            m_ok = m_output.write(bytes);
            m_offset += static_cast<std::int64_t>(bytes.size());
        }
        return m_ok;
    }

    bool fail() { return m_ok = false; }

    bool ok() const { return m_ok; }

    std::int64_t offset() const { return m_offset; }

private:
    PdfOutputFile& m_output;
    std::int64_t m_offset = 0;
    bool m_ok = true;
};

std::string entryBytes(PdfDocument& d, std::int32_t number, const PdfDictEntry& entry)
{
    if ((entry.flags & PdfEntryTextString) != 0) {
        std::string bytes = encodeTextString(entry.value);
        if (d.encryptionFlag != 0 && d.encryption) {
            bytes = d.encryption->encryptTextString(number, bytes);
        }
        return utf8ToCp1252(entry.prefix) + escapeStringBytes(bytes) + utf8ToCp1252(entry.suffix);
    }
    if ((entry.flags & PdfEntryHex) != 0) {
        PdfMemoryBlock block;
        PdfHexToBuffer(entry.value, entry.prefix, entry.suffix, block);
        return std::move(block.data);
    }
    return utf8ToCp1252(entry.prefix + entry.value + entry.suffix);
}

// Compresses a page content with the two zero bytes that end its block; records error 8 on failure.
bool compressContent(PdfDocument& d, PdfStream& stream)
{
    PdfMemoryBlock block;
    stream.data.append(2, '\0');
    if (PdfCompress(stream.data, block) == 0) {
        stream.data.resize(stream.data.size() - 2);
        setPdfError(d, PdfError::CompressionFailed);
        return false;
    }
    stream.data = std::move(block.data);
    return true;
}

// Writes the stream bytes, encrypted when the document is; a content stream loses a final line feed,
// which the line feed before "endstream" stands in for.
bool writeStreamBytes(
    CountingOutput& out, PdfDocument& d, std::int32_t number, PdfStream& stream, bool dropFinalLineFeed)
{
    PdfEncryption* encryption = d.encryptionFlag != 0 ? d.encryption.get() : nullptr;
    if (encryption != nullptr) {
        encryption->beginStream(number);
    }
    if (stream.spoolRange) {
        if (!d.spool) {
            return out.fail();
        }
        std::string chunk;
        for (std::uint64_t done = 0; done < stream.spoolRange->length;) {
            const std::size_t size = static_cast<std::size_t>(
                std::min<std::uint64_t>(SpoolChunkSize, stream.spoolRange->length - done));
            chunk.resize(size);
            if (!d.spool->read(stream.spoolRange->offset + done, chunk.data(), size)) {
                return out.fail();
            }
            if (encryption != nullptr) {
                encryption->encryptStreamPiece(chunk.data(), chunk.size());
            }
            if (!out.put(chunk)) {
                return false;
            }
            done += size;
        }
        return true;
    }
    if (encryption != nullptr) {
        encryption->encryptStreamPiece(stream.data.data(), stream.data.size());
    }
    std::string_view bytes = stream.data;
    if (dropFinalLineFeed && bytes.back() == '\n') {
        bytes.remove_suffix(1);
    }
    return out.put(bytes);
}

bool writeObject(CountingOutput& out, PdfDocument& d, std::int32_t number, PdfObject& object)
{
    object.offset = out.offset();
    out.put(std::to_string(number) + " 0 obj\n");
    if (object.kind == PdfObjectKind::Contents) {
        bool compressed = false;
        if (d.compressionFlag != 0 && !object.stream.spoolRange) {
            compressed = compressContent(d, object.stream);
        }
        const std::string length = std::to_string(object.stream.length());
        out.put(
            compressed ? "<</Filter /FlateDecode /Length " + length + ">>\n"
                       : "<</Length " + length + ">>\n");
        if (!object.stream.empty()) {
            out.put("stream\n");
            writeStreamBytes(out, d, number, object.stream, true);
            out.put("\nendstream\n");
        }
    } else {
        const bool hasBody = !object.rawText.empty() || !object.entries.empty() || !object.stream.empty();
        if (!hasBody) {
            out.put("null\n");
        }
        out.put(utf8ToCp1252(object.rawText));
        if (!object.entries.empty()) {
            out.put("<<");
            for (const PdfDictEntry& entry : object.entries) {
                out.put(entryBytes(d, number, entry));
            }
            out.put(">>\n");
        }
        if (!object.stream.empty()) {
            out.put("stream\n");
            writeStreamBytes(out, d, number, object.stream, false);
            out.put("\nendstream\n");
        }
    }
    object.stream.clear();
    return out.put("endobj\n");
}

std::string paddedOffset(std::int64_t offset)
{
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%010lld", static_cast<long long>(offset));
    return buffer.data();
}

} // namespace

bool writePdfDocument(PdfDocument& d, PdfOutputFile& output)
{
    CountingOutput out(output);
    d.crossReferenceSize = static_cast<std::int32_t>(d.objects.size()) + 1;
    out.put("%PDF-1.6\n%\xE2\xE3\xCF\xD3\n");
    for (std::size_t i = 0; i < d.objects.size() && out.ok(); ++i) {
        writeObject(out, d, static_cast<std::int32_t>(i + 1), d.objects[i]);
    }
    const std::int64_t xrefOffset = out.offset();
    out.put("xref\n0 " + std::to_string(d.crossReferenceSize) + "\n0000000000 65535 f \n");
    for (const PdfObject& object : d.objects) {
        out.put(paddedOffset(object.offset) + " 00000 n \n");
    }
    std::string trailer = "trailer\n<<\n/Size " + std::to_string(d.crossReferenceSize) + "\n/Root " +
                          d.catalogRef + "\n/Info " + d.infoRef + "\n";
    if (!d.encryptRef.empty()) {
        trailer += "/Encrypt " + d.encryptRef + "\n";
    }
    trailer += "/ID [<" + d.fileIdentifier + "> <" + d.fileIdentifier + ">]\n>>\nstartxref\n" +
               std::to_string(xrefOffset) + "\n%%EOF\n";
    out.put(trailer);
    return out.ok();
}

std::int32_t PdfWriteFile(const std::string& fileName)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    constexpr auto Failed = static_cast<std::int32_t>(PdfError::FileNotCreated);
    document->crossReferenceSize = static_cast<std::int32_t>(document->objects.size()) + 1;
    PdfModule& module = pdfModule();
    auto file = pdfOutputFiles().create(fileName);
    if (!file) {
        module.lastSystemError = file.error().code;
        setPdfError(*document, PdfError::FileNotCreated);
        return Failed;
    }
    // A failed write leaves its errno; nothing after it in the writing makes a system call.
    errno = 0;
    if (!writePdfDocument(*document, *file.value())) {
        module.lastSystemError = errno;
        setPdfError(*document, PdfError::FileNotCreated);
        return Failed;
    }
    const Expected<void> committed = file.value()->commit();
    if (!committed) {
        module.lastSystemError = committed.error().code;
        setPdfError(*document, PdfError::FileNotCreated);
        return Failed;
    }
    return 0;
}

} // namespace folvex
