#include "kvHtmlDoctype.h"

#include <gtest/gtest.h>

namespace {

TEST(KvHtmlDoctypeTest, StandardsModeDoctypes)
{
    for (const char *doctype :
         {"<!DOCTYPE html>", "<!doctype HTML>", "<!DOCTYPEhtml>", "<!DOCTYPE html SYSTEM \"about:legacy-compat\">",
          "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://www.w3.org/TR/html4/strict.dtd\">",
          "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" 'http://www.w3.org/TR/html4/loose.dtd'>",
          "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">", // limited quirks
          "<!DOCTYPE html SYSTEM \"x\" junk>"}) {
        EXPECT_FALSE(TkvHtmlDoctype::IsQuirks(doctype)) << doctype;
    }
}

TEST(KvHtmlDoctypeTest, QuirksModeDoctypes)
{
    for (const char *doctype :
         {"<!DOCTYPE>", "<!DOCTYPE", "<!DOCTYPE html", "<!DOCTYPE svg>", "<!DOCTYPE html5>",
          "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
          "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\">",
          "<!DOCTYPE html PUBLIC \"-//w3c//dtd html 3.2 final//en\">", "<!DOCTYPE html PUBLIC \"HTML\">",
          "<!DOCTYPE html PUBLIC \"-//IETF//DTD HTML//EN\" \"http://example.org/\">",
          "<!DOCTYPE html SYSTEM \"http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd\">",
          "<!DOCTYPE html PUBLIC>", "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN>",
          "<!DOCTYPE html PUBLIC -//W3C//DTD HTML 4.01//EN>", "<!DOCTYPE html bogus>", "<!DOCTYPE html SYSTEM \"x\""}) {
        EXPECT_TRUE(TkvHtmlDoctype::IsQuirks(doctype)) << doctype;
    }
}

} // namespace
