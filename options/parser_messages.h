// How the option parser words its failures: an untranslated message with its domain, an
// optional process-wide translation hook, and the final text made of the translated message,
// a separator and the subject (an option name or a command-line token).
#pragma once

#include <string>

// A failure as found: the message literal (untranslated) and its message domain.
struct ParserError {
    std::string message;
    std::string domain;
};

// Turns a message of a domain into another language. Installed by a host program.
class MessageTranslator {
  public:
    virtual ~MessageTranslator() = default;
    // Writes the translation of message (chosen by domain) into out and returns out.
    virtual std::string& translate(std::string& out, const std::string& message,
                                   const std::string& domain) = 0;
};

// The installed translator; none at start, so messages are shown as written.
extern MessageTranslator* messageTranslator;

// The domain of every message of the option parser.
extern const char* const kParserMessageDomain;

// The catalogue of the option parser's messages.
extern const char* const kRequiredOptionMissing;
extern const char* const kOptionNeedsValueParameter;
extern const char* const kOptionNeedsNumberValue;
extern const char* const kOptionNeedsBooleanValue;
extern const char* const kInvalidOption;
extern const char* const kInvalidArgument;
extern const char* const kNotEnoughArguments;
// For options beyond the seven messages above: a decimal value above 2147483647.
extern const char* const kNumberTooLarge;

// The separators between a message and its subject.
extern const char* const kOptionSeparator;  // ": -": the subject is an option name
extern const char* const kTokenSeparator;   // ": ": the subject is a token as typed

// A record of the message literal (empty for nullptr) and a copy of domain.
ParserError makeParserError(const char* message, const std::string& domain);

// The message through the installed translator, or unchanged when none is installed.
std::string translatedText(const ParserError& error);

// translatedText followed by the separator (nothing for nullptr).
std::string composeError(const ParserError& error, const char* separator);

// The whole error text of the option parser: message (translated) + separator + subject.
std::string parserErrorText(const char* message, const char* separator, const std::string& subject);
