#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

using testing::PdfTest;
using testing::readFile;
using testing::runProgram;
using testing::toolOutput;

constexpr const char* DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A document with every kind of string and stream: information, a composite font, page text, a text
// field, a link, an outline item, an attachment and a script.
std::int32_t buildTwin(const std::string& attachment)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(doc, 2, "a|b");
    PdfSetInfo(doc, 1, "Grüße (Folvex)");
    PdfSetCompression(doc, 1);
    PdfEmbedTrueType(doc, DejaVuSans, "Wide", "", 16, 0);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Wide", "", 12);
    PdfCellPublic(doc, "Grüße – €", 0, 10, 1, 1, "", 0, -1, "");
    PdfSetFont(doc, "Helvetica", "", 10);
    PdfTextField(doc, "Feld", "Wert", 0, 60, 8, 1, 1, "", 0);
    PdfCellPublic(doc, "Link", -1, 10, 0, 1, "", 0, PdfAddLinkTextOnlyRecord(doc, "https://example.org"), "");
    PdfAddOutlineItem(doc, "Kapitel", 0, -1, -1);
    PdfPutEmbeddedFile(doc, attachment, "Anlage");
    PdfJavaScriptAction(doc, "app.alert('x');", "x");
    return doc;
}

TEST(PdfSecurityHelpers, PaddingPermissionsKeysAndEscapes)
{
    EXPECT_EQ(PdfPadPassword(""), "28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
    EXPECT_EQ(PdfPadPassword("ab"), "616228BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453");
    std::string thirtyTwoX;
    for (int i = 0; i < 32; ++i) {
        thirtyTwoX += "78";
    }
    EXPECT_EQ(PdfPadPassword(std::string(32, 'x') + "12345678"), thirtyTwoX) << "only the first 32 count";
    EXPECT_EQ(PdfPermissionsHex(-3904), "C0F0FFFF");
    EXPECT_EQ(PdfPermissionsHex(-3900), "C4F0FFFF");
    EXPECT_EQ(PdfObjectKeySuffix(0x123456, 0x0102), "5634120201");
    EXPECT_EQ(PdfMD5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    // The published RC4 test vector "Key" / "Plaintext".
    EXPECT_EQ(PdfRC4Hex("Plaintext", "Key", 0), "BBF316E8D940AF0AD3");
    EXPECT_EQ(PdfRC4Hex("506C61696E74657874", "4B6579", 3), "BBF316E8D940AF0AD3");
    EXPECT_EQ(PdfRC4Hex("Plaintext", "Key", 8), std::string("\xBB\xF3\x16\xE8\xD9\x40\xAF\x0A\xD3"));
    EXPECT_EQ(PdfEscapeHexBytes("0a285C4129080d"), "5C6E5C285C5C415C295C625C72");
}

TEST_F(PdfTest, StandardSecurityHandlerComputesThePublishedKeys)
{
    struct Case
    {
        const char* user;
        const char* owner;
        std::int64_t permissions;
        const char* fileKey;
        const char* userStart;
        const char* p;
    };

    const Case cases[] = {
        {"", "", 0, "0400531BBD9494F636CF6B68A54D9FF3", "F2F59070094BF74B4321E79B13547313", "/P -3904\n"},
        {"user",
         "owner",
         4,
         "D6CE08DA83A85C928EF09A16B731047C",
         "BF7F0D782C88FB562E05987D52F8B0AE",
         "/P -3900\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
        EXPECT_EQ(module.current->fileIdentifier, "9c7e100bd07da897e99088336c043e8d");
        PdfSetProtection(doc, c.user, c.owner, c.permissions);
        EXPECT_EQ(module.current->fileKey, c.fileKey);
        EXPECT_EQ(module.current->userEntry.substr(0, 32), c.userStart);
        EXPECT_EQ(module.current->userEntry.substr(32), std::string(32, '0'));
        if (std::string(c.user) == "user") {
            EXPECT_EQ(objectKeyHex(module.current->fileKey, 2, 0), "1C554674CAA2AFD43277621A1D0A1DD0");
            EXPECT_EQ(PdfRC4Hex("Folvex", objectKeyHex(module.current->fileKey, 2, 0), 1), "8E27BFBE5BCA");
            EXPECT_EQ(PdfEncryptString(2, 0, "Folvex"), "8E27BFBE5BCA");
        }
        const std::string path = dir.file("keys.pdf");
        ASSERT_EQ(PdfSave(doc, path), 0);
        const std::string bytes = readFile(path);
        EXPECT_TRUE(testing::pdfStructureIsSound(bytes));
        EXPECT_NE(
            bytes.find("/V 2 /R 3 /Filter /Standard /Length 128\n" + std::string(c.p)), std::string::npos);
        for (const char* password : {c.user, c.owner}) {
            const auto check = runProgram({"qpdf", std::string("--password=") + password, "--check", path});
            EXPECT_EQ(check.exitCode, 0) << check.output;
        }
        if (*c.user != 0) {
            EXPECT_NE(runProgram({"qpdf", "--password=wrong", "--check", path}).exitCode, 0);
        }
    }
}

TEST_F(PdfTest, DecryptedDocumentEqualsItsUnencryptedTwin)
{
    testing::writeFile(dir.file("anlage.txt"), "Anlage (verschlüsselt)\n");
    const std::string plain = dir.file("plain.pdf");
    const std::string secret = dir.file("secret.pdf");
    ASSERT_EQ(PdfSave(buildTwin(dir.file("anlage.txt")), plain), 0);
    const std::int32_t doc = buildTwin(dir.file("anlage.txt"));
    PdfSetProtection(doc, "user", "owner", 4 | 16);
    ASSERT_EQ(PdfSave(doc, secret), 0);
    EXPECT_TRUE(testing::pdfFileIsSound(plain));

    const std::string encrypted = readFile(secret);
    EXPECT_TRUE(testing::pdfStructureIsSound(encrypted));
    for (const char* text :
         {"a|b", "Folvex", "Wert", "(Adobe)", "(UCS)", "example.org", "Kapitel", "Anlage", "alert"}) {
        EXPECT_EQ(encrypted.find(text), std::string::npos) << text << " is readable";
    }
    EXPECT_NE(readFile(plain).find("/Title (a|b)"), std::string::npos);

    const std::string rewritten = dir.file("rewritten.pdf");
    const std::string decrypted = dir.file("decrypted.pdf");
    toolOutput({"qpdf", plain, rewritten});
    for (const char* password : {"user", "owner"}) {
        SCOPED_TRACE(password);
        toolOutput({"qpdf", std::string("--password=") + password, "--check", secret});
        toolOutput({"qpdf", std::string("--password=") + password, "--decrypt", secret, decrypted});
        // Every object, streams decoded; the trailer differs only in the second half of /ID, which qpdf
        // makes anew.
        const auto json = [](const std::string& path) {
            const std::string all =
                toolOutput({"qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=inline", path});
            return all.substr(0, all.find("\"trailer\""));
        };
        const std::string expected = json(rewritten);
        const std::string actual = json(decrypted);
        std::size_t same = 0;
        while (same < actual.size() && same < expected.size() && actual[same] == expected[same]) {
            ++same;
        }
        EXPECT_EQ(actual.size(), expected.size());
        EXPECT_EQ(same, expected.size())
            << "first difference: " << actual.substr(same > 200 ? same - 200 : 0, 400)
            << "\nexpected: " << expected.substr(same > 200 ? same - 200 : 0, 400);
        EXPECT_NE(actual.find("\"u:a|b\""), std::string::npos);
        EXPECT_NE(actual.find("\"/V\": \"u:Wert\""), std::string::npos);
        EXPECT_NE(actual.find("\"/Registry\": \"u:Adobe\""), std::string::npos);
    }
}

} // namespace
} // namespace folvex
