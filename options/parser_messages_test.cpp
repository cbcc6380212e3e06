#include "options/parser_messages.h"

#include <gtest/gtest.h>

namespace {

// Prefixes every message with its domain, or gives the empty text for one domain.
struct TestTranslator : MessageTranslator {
    std::string& translate(std::string& out, const std::string& message,
                           const std::string& domain) override {
        out = domain == "EMPTY" ? std::string() : "[" + domain + "] " + message;
        return out;
    }
};

struct InstalledTranslator {
    TestTranslator translator;
    InstalledTranslator() { messageTranslator = &translator; }
    ~InstalledTranslator() { messageTranslator = nullptr; }
};

}  // namespace

TEST(ParserMessages, WithoutTranslatorTextIsMessageSeparatorSubject) {
    ASSERT_EQ(messageTranslator, nullptr);
    EXPECT_EQ(parserErrorText(kInvalidOption, kTokenSeparator, "-x"), "invalid option: -x");
    EXPECT_EQ(parserErrorText(kInvalidOption, kTokenSeparator, "/x"), "invalid option: /x");
    EXPECT_EQ(parserErrorText(kOptionNeedsNumberValue, kOptionSeparator, "timeout"),
              "option needs a number value: -timeout");
    EXPECT_EQ(parserErrorText(kNotEnoughArguments, nullptr, ""), "not enough arguments");
}

TEST(ParserMessages, CatalogueTexts) {
    EXPECT_STREQ(kRequiredOptionMissing, "required option missing");
    EXPECT_STREQ(kOptionNeedsValueParameter, "option needs a value parameter");
    EXPECT_STREQ(kOptionNeedsBooleanValue, "option needs a value true/false/yes/no/1/0");
    EXPECT_STREQ(kInvalidArgument, "invalid argument");
    EXPECT_STREQ(kParserMessageDomain, "VOPTA");
}

TEST(ParserMessages, AbsentLiteralsGiveEmptyParts) {
    const ParserError error = makeParserError(nullptr, "VOPTA");
    EXPECT_EQ(error.message, "");
    EXPECT_EQ(error.domain, "VOPTA");
    EXPECT_EQ(composeError(makeParserError("m", "VOPTA"), nullptr), "m");
}

TEST(ParserMessages, TranslatorSeesMessageAndDomainButNotSeparatorOrSubject) {
    InstalledTranslator installed;
    EXPECT_EQ(parserErrorText(kInvalidOption, kTokenSeparator, "-x"), "[VOPTA] invalid option: -x");
    EXPECT_EQ(composeError(makeParserError("m", "EMPTY"), ": -") + "name", ": -name");
    EXPECT_EQ(translatedText(makeParserError("m", "EMPTY")), "");
}
