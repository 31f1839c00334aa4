// The libxml2 helpers shared by the rate service and its client.
#include <gtest/gtest.h>

#include <string>

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

TEST(Xml, ParseKeepsEntitiesUnexpandedAndDeclaredEncodings) {
    // An internal entity is declared, but not substituted into the text.
    auto withEntity = xml::Parse("<!DOCTYPE r [<!ENTITY e \"expanded\">]><r>&e;</r>");
    ASSERT_TRUE(withEntity.doc) << withEntity.error;
    const xmlNode* root = xmlDocGetRootElement(withEntity.doc.get());
    ASSERT_NE(root->children, nullptr);
    EXPECT_EQ(root->children->type, XML_ENTITY_REF_NODE);

    auto latin1 = xml::Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xE9\">\xFC</r>");
    ASSERT_TRUE(latin1.doc) << latin1.error;
    root = xmlDocGetRootElement(latin1.doc.get());
    EXPECT_EQ(xml::Attribute(root, "a"), "\xC3\xA9");
    EXPECT_EQ(xml::Text(root), "\xC3\xBC");
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
