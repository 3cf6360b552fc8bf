// The standard security handler, revision 3: 128-bit RC4 keys from MD5 digests of the padded
// passwords, the permissions and the file identifier; every string and stream of the document is
// encrypted with a key of its object. Byte strings travel as hexadecimal texts.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/md5.h"
#include "runtime/text.h"

#include <array>

namespace folvex {

namespace {

constexpr const char* PaddingHex = "28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A";

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

std::string hexToBytes(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(hexValue(hex[i]) * 16 + hexValue(hex[i + 1])));
    }
    return bytes;
}

std::string bytesToHex(std::string_view bytes)
{
    return toHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), true);
}

// The bytes of a text in PDFDocEncoding; characters it lacks become "?".
std::string docEncodingBytes(std::string_view utf8)
{
    std::string bytes;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t code = decodeUtf8(utf8, pos).value_or(ReplacementCharacter);
        bytes.push_back(static_cast<char>(pdfDocEncodingByte(code).value_or(static_cast<std::uint8_t>('?'))));
    }
    return bytes;
}

class Rc4
{
public:
    explicit Rc4(std::string_view key)
    {
        for (int i = 0; i < 256; ++i) {
            m_state[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        }
        if (key.empty()) {
            return;
        }
        std::uint8_t j = 0;
        for (std::size_t i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + m_state[i] + static_cast<std::uint8_t>(key[i % key.size()]));
            std::swap(m_state[i], m_state[j]);
        }
    }

    void apply(char* data, std::size_t size)
    {
        for (std::size_t n = 0; n < size; ++n) {
            m_i = static_cast<std::uint8_t>(m_i + 1);
            m_j = static_cast<std::uint8_t>(m_j + m_state[m_i]);
            std::swap(m_state[m_i], m_state[m_j]);
            const std::uint8_t k = m_state[static_cast<std::uint8_t>(m_state[m_i] + m_state[m_j])];
            data[n] = static_cast<char>(static_cast<std::uint8_t>(data[n]) ^ k);
        }
    }

private:
    std::array<std::uint8_t, 256> m_state{};
    std::uint8_t m_i = 0;
    std::uint8_t m_j = 0;
};

std::string xorKey(const std::string& keyHex, int value)
{
    std::string key = hexToBytes(keyHex);
    for (char& c : key) {
        c = static_cast<char>(static_cast<std::uint8_t>(c) ^ value);
    }
    return bytesToHex(key);
}

// The installed encryption of a protected document.
class StandardEncryption final : public PdfEncryption
{
public:
    explicit StandardEncryption(std::string fileKeyHex)
        : m_fileKeyHex(std::move(fileKeyHex))
    {}

    std::string encryptTextString(std::int32_t objectNumber, std::string_view bytes) override
    {
        std::string out(bytes);
        Rc4 cipher(hexToBytes(objectKeyHex(m_fileKeyHex, objectNumber, 0)));
        cipher.apply(out.data(), out.size());
        return out;
    }

    void beginStream(std::int32_t objectNumber) override
    {
        m_stream.emplace(hexToBytes(objectKeyHex(m_fileKeyHex, objectNumber, 0)));
    }

    void encryptStreamPiece(char* data, std::size_t size) override
    {
        if (m_stream) {
            m_stream->apply(data, size);
        }
    }

private:
    std::string m_fileKeyHex;
    std::optional<Rc4> m_stream;
};

} // namespace

std::string PdfPadPassword(const std::string& password)
{
    std::string hex = bytesToHex(docEncodingBytes(password));
    hex += PaddingHex;
    return hex.substr(0, 64);
}

std::string PdfMD5Hex(const std::string& hex)
{
    return toHex(md5(hexToBytes(hex)), true);
}

std::string PdfRC4Hex(const std::string& data, const std::string& key, std::int32_t mode)
{
    const std::string keyBytes = (mode & 1) != 0 ? hexToBytes(key) : docEncodingBytes(key);
    std::string bytes = (mode & 2) != 0 ? hexToBytes(data) : docEncodingBytes(data);
    Rc4 cipher(keyBytes);
    cipher.apply(bytes.data(), bytes.size());
    return (mode & 8) != 0 ? bytes : bytesToHex(bytes);
}

void PdfRC4Buffer(const std::string& keyHex, char* address, std::size_t length)
{
    if (address == nullptr) {
        return;
    }
    Rc4 cipher(hexToBytes(keyHex));
    cipher.apply(address, length);
}

std::string PdfPermissionsHex(std::int64_t p)
{
    const auto low = static_cast<std::uint32_t>(p & 0xFFFFFFFF);
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((low >> (8 * i)) & 0xFF));
    }
    return bytesToHex(bytes);
}

std::string PdfObjectKeySuffix(std::int32_t objectNumber, std::int32_t generation)
{
    const auto n = static_cast<std::uint32_t>(objectNumber);
    const auto g = static_cast<std::uint32_t>(generation);
    const std::string bytes{
        static_cast<char>(n & 0xFF),
        static_cast<char>((n >> 8) & 0xFF),
        static_cast<char>((n >> 16) & 0xFF),
        static_cast<char>(g & 0xFF),
        static_cast<char>((g >> 8) & 0xFF)};
    return bytesToHex(bytes);
}

std::string objectKeyHex(const std::string& fileKeyHex, std::int32_t objectNumber, std::int32_t generation)
{
    return PdfMD5Hex(fileKeyHex + PdfObjectKeySuffix(objectNumber, generation));
}

std::int32_t PdfComputeKeys(const std::string& userPassword, const std::string& ownerPassword, std::int64_t p)
{
    PdfDocument* d = currentPdfDocument();
    if (d == nullptr) {
        return 0;
    }
    std::string hash = PdfMD5Hex(PdfPadPassword(ownerPassword));
    for (int i = 0; i < 50; ++i) {
        hash = PdfMD5Hex(hash);
    }
    const std::string ownerKey = hash;
    std::string owner = PdfRC4Hex(PdfPadPassword(userPassword), ownerKey, 3);
    for (int i = 1; i <= 19; ++i) {
        owner = PdfRC4Hex(owner, xorKey(ownerKey, i), 3);
    }
    d->ownerEntry = owner;

    hash = PdfMD5Hex(PdfPadPassword(userPassword) + owner + PdfPermissionsHex(p) + d->fileIdentifier);
    for (int i = 0; i < 50; ++i) {
        hash = PdfMD5Hex(hash);
    }
    d->fileKey = hash;

    std::string user = PdfMD5Hex(std::string(PaddingHex) + d->fileIdentifier);
    user = PdfRC4Hex(user, d->fileKey, 3);
    for (int i = 1; i <= 19; ++i) {
        user = PdfRC4Hex(user, xorKey(d->fileKey, i), 3);
    }
    d->userEntry = user + std::string(32, '0');
    return 0;
}

std::string PdfEscapeHexBytes(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const std::string pair = upperCase(hex.substr(i, 2));
        static const std::array<std::pair<const char*, const char*>, 8> Escapes = {{
            {"08", "5C62"},
            {"09", "5C74"},
            {"0A", "5C6E"},
            {"0C", "5C66"},
            {"0D", "5C72"},
            {"5C", "5C5C"},
            {"28", "5C28"},
            {"29", "5C29"},
        }};
        std::string replacement = pair;
        for (const auto& [from, to] : Escapes) {
            if (pair == from) {
                replacement = to;
            }
        }
        out += replacement;
    }
    return out;
}

std::string PdfEncryptString(std::int32_t objectNumber, std::int32_t generation, std::string_view bytes)
{
    const PdfDocument* d = currentPdfDocument();
    if (d == nullptr) {
        return {};
    }
    std::string out(bytes);
    Rc4 cipher(hexToBytes(objectKeyHex(d->fileKey, objectNumber, generation)));
    cipher.apply(out.data(), out.size());
    return PdfEscapeHexBytes(bytesToHex(out));
}

void PdfEncryptStream(std::int32_t objectNumber, std::int32_t generation, char* address, std::size_t length)
{
    const PdfDocument* d = currentPdfDocument();
    if (d == nullptr) {
        return;
    }
    PdfRC4Buffer(objectKeyHex(d->fileKey, objectNumber, generation), address, length);
}

std::int32_t PdfSetProtection(
    std::int32_t doc,
    const std::string& userPassword,
    const std::string& ownerPassword,
    std::int64_t permissions)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    const std::string owner = ownerPassword.empty() ? userPassword : ownerPassword;
    const std::int64_t low = (permissions | 0xFFFFF0C0) & 0xFFFFFFFF;
    const std::int64_t p = (permissions & ~static_cast<std::int64_t>(0xFFFFFFFF)) | low;
    d->permissionsValue = p;
    PdfComputeKeys(userPassword, owner, p);
    d->encryptionFlag = 1;
    d->encryption = std::make_unique<StandardEncryption>(d->fileKey);
    return 0;
}

void writeEncryptionDictionary(PdfDocument& d)
{
    if (d.encryptionFlag == 0 || d.ownerEntry.empty() || !d.encryptRef.empty()) {
        return;
    }
    PdfNewObject(PdfObjectKind::Plain);
    d.encryptRef = PdfObjRef(d.lastObjectNumber);
    const auto p = static_cast<std::int32_t>(static_cast<std::uint32_t>(d.permissionsValue & 0xFFFFFFFF));
    PdfPutEntry(
        "/V 2 /R 3 /Filter /Standard /Length 128\n/P " + std::to_string(p) + "\n", "\n", "", PdfEntryPlain);
    PdfPutEntry(PdfEscapeHexBytes(d.ownerEntry), "/O (", ")\n", PdfEntryHex);
    PdfPutEntry(PdfEscapeHexBytes(d.userEntry), "/U (", ")\n", PdfEntryHex);
}

} // namespace folvex
