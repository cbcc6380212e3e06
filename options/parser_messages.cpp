#include "options/parser_messages.h"

MessageTranslator* messageTranslator = nullptr;

const char* const kParserMessageDomain = "VOPTA";

const char* const kRequiredOptionMissing = "required option missing";
const char* const kOptionNeedsValueParameter = "option needs a value parameter";
const char* const kOptionNeedsNumberValue = "option needs a number value";
const char* const kOptionNeedsBooleanValue = "option needs a value true/false/yes/no/1/0";
const char* const kInvalidOption = "invalid option";
const char* const kInvalidArgument = "invalid argument";
const char* const kNotEnoughArguments = "not enough arguments";
const char* const kNumberTooLarge = "number too large";

const char* const kOptionSeparator = ": -";
const char* const kTokenSeparator = ": ";

ParserError makeParserError(const char* message, const std::string& domain) {
    return ParserError{message != nullptr ? std::string(message) : std::string(), domain};
}

std::string translatedText(const ParserError& error) {
    if (messageTranslator == nullptr) {
        return error.message;
    }
    std::string out;
    return messageTranslator->translate(out, error.message, error.domain);
}

std::string composeError(const ParserError& error, const char* separator) {
    std::string text = translatedText(error);
    if (separator != nullptr) {
        text += separator;
    }
    return text;
}

std::string parserErrorText(const char* message, const char* separator,
                            const std::string& subject) {
    return composeError(makeParserError(message, kParserMessageDomain), separator) + subject;
}
