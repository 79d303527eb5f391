// The conversion tests' harness: messages built from the .msg model, written as a .msg file, opened
// through the MAPI runtime and converted with MapiToMime; boundaries normalised for byte-for-byte
// comparison; a configuration source with fixed answers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <MapiPtr.h>
#include <mapidefs.h>

#include "mmconv/message/ConfigProp.h"
#include "platform/cfb/MsgModel.h"

namespace convtest {

using platform::cfb::MsgAttachment;
using platform::cfb::MsgDocument;
using platform::cfb::MsgMessage;
using platform::cfb::MsgProperty;
using platform::cfb::MsgRecipient;

// Property values of the model.
MsgProperty Unicode(ULONG tag, std::u16string text);
MsgProperty Ansi(ULONG tag, std::string text);
MsgProperty Long(ULONG tag, std::int64_t value);
MsgProperty Boolean(ULONG tag, bool value);
MsgProperty Double(ULONG tag, double value);
MsgProperty Time(ULONG tag, std::uint64_t fileTime);
MsgProperty Binary(ULONG tag, std::string_view bytes);
MsgProperty MultiUnicode(ULONG tag, std::vector<std::u16string> texts);
MsgProperty MultiLong(ULONG tag, std::vector<std::int64_t> values);
MsgProperty MultiAnsi(ULONG tag, std::vector<std::string> texts);
MsgProperty MultiBinary(ULONG tag, std::vector<std::string> values);
// PR_RTF_COMPRESSED holding this RTF.
MsgProperty CompressedRtf(std::string_view rtf);

// A one-off entry identifier in Unicode form.
std::string OneOff(std::u16string name, std::u16string type, std::u16string address);

// A FILETIME from a UTC date and time.
std::uint64_t FileTime(int year, int month, int day, int hour, int minute, int second);

// A message model with the named-property names it uses.
class MessageBuilder {
public:
    MessageBuilder& Add(MsgProperty property) { return Add(document_.message, std::move(property)); }
    MessageBuilder& Add(MsgMessage& message, MsgProperty property);
    // The tag of a named property in this document, its name registered on first use.
    ULONG Named(const GUID& set, ULONG lid, ULONG type);
    ULONG Named(const GUID& set, std::u16string name, ULONG type);
    MsgRecipient& AddRecipient(ULONG type, std::u16string name, std::u16string addressType, std::u16string address);
    MsgAttachment& AddFile(std::u16string fileName, std::string_view data, std::u16string mimeTag = {});
    // An embedded message attachment; the embedded message is returned for filling.
    MsgMessage& AddEmbedded(MsgMessage& parent, std::u16string displayName);
    MsgMessage& Message() { return document_.message; }
    const MsgDocument& Document() const { return document_; }

private:
    ULONG NameId(const platform::cfb::MsgNamedProperty& name);
    MsgDocument document_;
};

// A sent mail of the class from "Anna" <anna@example.com>, dated 25 March 2024 10:00 UTC, with
// PR_INTERNET_CPID 65001 and no body.
MessageBuilder SentMail(std::string messageClass = "IPM.Note", std::u16string subject = u"Subject");

// Each text of `present` occurs in the output and none of `absent`; failures name the case.
void ExpectTexts(const std::string& output, const std::vector<std::string>& present,
    const std::vector<std::string>& absent, const std::string& label);

// Answers from a fixed table of values.
class TestConfig final : public mmconv::IConfigProp {
public:
    TestConfig& Flag(ULONG tag, bool value);
    TestConfig& Text(ULONG tag, std::string value);

    HRESULT QueryInterface(REFIID, LPVOID* object) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetOneProp(ULONG tag, LPSPropValue* value) override;

private:
    std::map<ULONG, bool> flags_;
    std::map<ULONG, std::string> texts_;
};

struct Conversion {
    HRESULT status = E_FAIL;
    std::string output;
};

// Writes the document as a .msg file and opens it through the MAPI runtime (null on failure, which
// fails the test).
MapiPtr<IMessage> Open(const MsgDocument& document);

// Writes the document as a .msg file, opens it and converts it.
Conversion Convert(const MsgDocument& document, ULONG flags = 0x01, mmconv::IConfigProp* config = nullptr);

// Generated boundaries replaced by B1, B2, ... in the order they first appear.
std::string NormaliseBoundaries(const std::string& message);

// The header block of a converted message (up to its empty line, or all of it).
std::string HeaderBlock(const std::string& message);

// The field's whole text ("Name: value" with its continuation lines), or "" without it.
std::string Field(const std::string& header, const std::string& name);

} // namespace convtest
