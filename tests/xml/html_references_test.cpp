#include "xml/html_references.h"

#include <gtest/gtest.h>

namespace vrel {
namespace {

TEST(HtmlReferences, TableIsSortedAndCaseSensitive) {
  EXPECT_EQ(EntityCount(), 253u);
  EXPECT_EQ(LookUpEntity("AElig;"), 198u);
  EXPECT_EQ(LookUpEntity("zwnj;"), 8204u);
  EXPECT_EQ(LookUpEntity("thetasym;"), 977u);
  EXPECT_EQ(LookUpEntity("Auml;"), 196u);
  EXPECT_EQ(LookUpEntity("auml;"), 228u);
  EXPECT_EQ(LookUpEntity("auml"), 0u);
  EXPECT_EQ(LookUpEntity("AMP;"), 0u);
}

TEST(HtmlReferences, DecodesNamedAndNumericReferencesAndLeavesTheRest) {
  EXPECT_EQ(DecodeHtmlReferences("America&#8217;s AT&amp;T caf&eacute;&nbsp;&apos;&#x41;&#X42;"),
            "America\u2019s AT&T caf\u00E9\u00A0'AB");
  // Decoded once: a reference to "&" does not start another.
  EXPECT_EQ(DecodeHtmlReferences("&amp;lt;b&amp;gt;"), "&lt;b&gt;");
  EXPECT_EQ(DecodeHtmlReferences("Fish & Chips &amp; &nosuch; &copy=2; &#0; &#xD800; &#12a; &"),
            "Fish & Chips & &nosuch; &copy=2; &#0; &#xD800; &#12a; &");
  EXPECT_EQ(DecodeHtmlReferences("&#x1F600;&#1114112;"), "\U0001F600&#1114112;");
}

}  // namespace
}  // namespace vrel
