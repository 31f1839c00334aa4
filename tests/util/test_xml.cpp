// The libxml2 helpers shared by the rate service and its client.
#include <gtest/gtest.h>

#include <string>

#include "util/PrintableText.h"
#include "util/Xml.h"

using namespace quorvane;

TEST(Xml, EscapedTextReadsBackInContentAndInEitherQuotes) {
    const std::string text = "Tonga Pa'anga & \"Trinidad\" <TTD> \xE5\x86\x86";
    const std::string escaped = xml::Escape(text);
    const std::string document = "<r double=\"" + escaped + "\" single='" + escaped + "'>" + escaped + "</r>";
    auto parsed = xml::Parse(document);
    ASSERT_TRUE(parsed.doc) << parsed.error << "\n" << document;
    const xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    EXPECT_EQ(xml::Attribute(root, "double"), text);
    EXPECT_EQ(xml::Attribute(root, "single"), text);
    EXPECT_EQ(xml::Text(root), text);

    // Characters XML 1.0 cannot carry at all would make the whole document unreadable.
    EXPECT_EQ(xml::Escape("a\x01 b\x1F\tc\r\n"), "a? b?\tc\r\n");
    EXPECT_EQ(xml::Escape("\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD"), "??\xEF\xBF\xBD"); // found by fuzzing
    EXPECT_EQ(xml::Escape("'"), "&apos;");
}

TEST(Xml, ParseFailsWithTheLineAndTheParsersReason) {
    auto parsed = xml::Parse("<a>\n<b>\n</a>");
    EXPECT_FALSE(parsed.doc);
    const std::string start = "not well-formed XML (line 3: ";
    EXPECT_EQ(parsed.error.rfind(start, 0), 0u) << parsed.error;
    EXPECT_GT(parsed.error.size(), start.size() + 8) << parsed.error;
    EXPECT_EQ(parsed.error.back(), ')') << parsed.error;
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;

    for (const char* bytes : {"", "   ", "<!-- only a comment -->", "<?xml version=\"1.0\"?>"}) {
        auto empty = xml::Parse(bytes);
        EXPECT_FALSE(empty.doc) << bytes;
        EXPECT_FALSE(empty.error.empty()) << bytes;
    }
}

TEST(Xml, ParseRefusesEveryDocumentTypeAndKeepsDeclaredEncodings) {
    // Refused before the internal subset is read: a declared entity could cost any time and memory.
    for (const char* bytes : {"<!DOCTYPE r [<!ENTITY e \"expanded\">]><r>&e;</r>", "<!DOCTYPE r><r/>",
                              "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\"><r/>",
                              "<!DOCTYPE r [<!ENTITY e \"x\">]><r a=\"&e;&e;\"/>"}) {
        auto parsed = xml::Parse(bytes);
        EXPECT_FALSE(parsed.doc) << bytes;
        EXPECT_EQ(parsed.failure, xml::ParseFailure::DocumentType) << bytes;
    }

    auto latin1 = xml::Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xE9\">\xFC</r>");
    ASSERT_TRUE(latin1.doc) << latin1.error;
    const xmlNode* root = xmlDocGetRootElement(latin1.doc.get());
    EXPECT_EQ(xml::Attribute(root, "a"), "\xC3\xA9");
    EXPECT_EQ(xml::Text(root), "\xC3\xBC");
}

TEST(Xml, ParseBoundsDepthElementsAndBytes) {
    const auto nested = [](int depth) {
        std::string out;
        for (int i = 0; i < depth; ++i)
            out += "<a>";
        for (int i = 0; i < depth; ++i)
            out += "</a>";
        return out;
    };
    EXPECT_TRUE(xml::Parse(nested(xml::MaxDepth)).doc);
    EXPECT_EQ(xml::Parse(nested(xml::MaxDepth + 1)).failure, xml::ParseFailure::TooDeep);

    std::string many = "<r>";
    for (std::size_t i = 1; i < xml::MaxElements; ++i)
        many += "<a/>";
    EXPECT_TRUE(xml::Parse(many + "</r>").doc);
    EXPECT_EQ(xml::Parse(many + "<a/></r>").failure, xml::ParseFailure::TooLarge);

    const std::string large = "<r>" + std::string(xml::MaxDocumentBytes, ' ') + "</r>";
    EXPECT_EQ(xml::Parse(large).failure, xml::ParseFailure::TooLarge);
}

TEST(Xml, LibxmlMessagesReachOnlyTheReasonAsPrintableUtf8) {
    // Bytes the declared encoding cannot convert make libxml2 print unless its messages are ours.
    testing::internal::CaptureStderr();
    auto badShiftJis = xml::Parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x82\xFF\xFF</a>");
    auto rawNamespace = xml::Parse("<a xmlns=\"\xD7\"/>"); // its reason quotes the byte
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    for (const auto* parsed : {&badShiftJis, &rawNamespace}) {
        EXPECT_FALSE(parsed->doc);
        EXPECT_EQ(parsed->error, PrintableUtf8(parsed->error));
    }
    EXPECT_NE(rawNamespace.error.find("\\xD7"), std::string::npos) << rawNamespace.error;
}

TEST(Xml, WalksElementsAndReadsNamesAttributesAndText) {
    auto parsed = xml::Parse("<r xmlns:p=\"urn:p\">text<!-- c --><p:a empty=\"\" p:n=\"1\">"
                             "\n <![CDATA[ USD]]>\t</p:a>more<b/><?pi x?></r>");
    ASSERT_TRUE(parsed.doc) << parsed.error;
    const xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    const xmlNode* a = xml::FirstElementChild(root);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(xml::IsElement(a, "urn:p", "a"));
    EXPECT_FALSE(xml::IsElement(a, "", "a"));
    EXPECT_EQ(xml::LocalName(a), "a");
    EXPECT_EQ(xml::NamespaceOf(a), "urn:p");
    EXPECT_EQ(xml::Attribute(a, "empty"), "");
    EXPECT_EQ(xml::Attribute(a, "n"), std::nullopt); // only attributes without a namespace
    EXPECT_EQ(xml::Attribute(a, "absent"), std::nullopt);
    EXPECT_EQ(xml::TrimmedText(a), "USD");
    EXPECT_EQ(xml::Text(a), "\n  USD\t");

    const xmlNode* b = xml::NextElementSibling(a);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(xml::IsElement(b, "", "b"));
    EXPECT_EQ(xml::NextElementSibling(b), nullptr);
    EXPECT_EQ(xml::FirstElementChild(b), nullptr);

    EXPECT_EQ(xml::FirstElementChild(nullptr), nullptr);
    EXPECT_EQ(xml::NextElementSibling(nullptr), nullptr);
    EXPECT_FALSE(xml::IsElement(nullptr, "", ""));
    EXPECT_EQ(xml::LocalName(nullptr), "");
    EXPECT_EQ(xml::Attribute(nullptr, "a"), std::nullopt);
    EXPECT_EQ(xml::Text(nullptr), "");
}
