// The corpus: one kind of mail after another, sizes drawn from a fixed generator.
#include "bench/ConversionCorpus.h"

#include <mapitags.h>

#include <random>
#include <stdexcept>

#include "platform/cfb/MsgWriter.h"
#include "platform/rtf/RtfCompressor.h"

namespace bench {
namespace {

using platform::cfb::MsgAttachment;
using platform::cfb::MsgDocument;
using platform::cfb::MsgMessage;
using platform::cfb::MsgProperty;

MsgProperty Property(ULONG tag)
{
    MsgProperty property;
    property.tag = tag;
    return property;
}

MsgProperty Text(ULONG tag, const std::string& ascii)
{
    MsgProperty property = Property(tag);
    property.text.assign(ascii.begin(), ascii.end());
    return property;
}

MsgProperty Number(ULONG tag, std::int64_t value)
{
    MsgProperty property = Property(tag);
    property.integer = value;
    return property;
}

MsgProperty Bytes(ULONG tag, const std::string& bytes)
{
    MsgProperty property = Property(tag);
    property.bytes.assign(bytes.begin(), bytes.end());
    return property;
}

class Generator {
public:
    std::string Words(std::size_t size)
    {
        static const char* const kWords[] = {"the", "meeting", "agenda", "quarterly", "report", "please", "find",
            "attached", "regards", "budget", "2024", "review", "invoice", "schedule", "customer", "project"};
        std::string text;
        std::size_t column = 0;
        while (text.size() < size) {
            const char* word = kWords[random_() % std::size(kWords)];
            text += word;
            column += std::char_traits<char>::length(word) + 1;
            text += column > 70 ? "\r\n" : " ";
            column = column > 70 ? 0 : column;
        }
        return text;
    }

    // Compressed data: every byte value equally likely.
    std::string Binary(std::size_t size)
    {
        std::string data(size, '\0');
        for (char& c : data)
            c = static_cast<char>(random_());
        return data;
    }

    std::size_t Around(std::size_t size) { return size / 2 + random_() % (size + 1); }

private:
    std::mt19937 random_{2024};
};

void Header(MsgMessage& message, std::size_t index)
{
    message.properties = {Text(PR_MESSAGE_CLASS_W, "IPM.Note"), Text(PR_SUBJECT_W, "Corpus mail " + std::to_string(index)),
        Number(PR_CLIENT_SUBMIT_TIME, 133500000000000000 + static_cast<std::int64_t>(index) * 600000000),
        Number(PR_INTERNET_CPID, 65001), Text(PR_SENDER_ADDRTYPE_W, "SMTP"),
        Text(PR_SENDER_EMAIL_ADDRESS_W, "sender@example.com"), Text(PR_SENDER_NAME_W, "Sender Name"),
        Text(PR_INTERNET_MESSAGE_ID_W, "<corpus" + std::to_string(index) + "@example.com>")};
    platform::cfb::MsgRecipient& recipient = message.recipients.emplace_back();
    recipient.properties = {Number(PR_RECIPIENT_TYPE, MAPI_TO), Text(PR_DISPLAY_NAME_W, "Doe, Jane"),
        Text(PR_ADDRTYPE_W, "SMTP"), Text(PR_EMAIL_ADDRESS_W, "jane.doe@example.com")};
}

MsgAttachment& File(MsgMessage& message, const std::string& name, const std::string& type, std::string data)
{
    MsgAttachment& attachment = message.attachments.emplace_back();
    attachment.number = static_cast<std::uint32_t>(message.attachments.size() - 1);
    attachment.properties = {Number(PR_ATTACH_METHOD, ATTACH_BY_VALUE), Text(PR_ATTACH_LONG_FILENAME_W, name),
        Text(PR_ATTACH_MIME_TAG_W, type), Bytes(PR_ATTACH_DATA_BIN, data)};
    return attachment;
}

std::string Compressed(const std::string& rtf)
{
    std::vector<std::uint8_t> compressed;
    if (FAILED(platform::rtf::CompressRtf(std::span(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()), compressed)))
        throw std::runtime_error("the RTF of the corpus does not compress");
    return std::string(compressed.begin(), compressed.end());
}

void Fill(MsgMessage& message, std::size_t index, std::size_t size, Generator& generator)
{
    const std::string text = generator.Words(2000);
    switch (index % 10) {
    case 0: case 1: case 2: case 3:  // plain text with a file
        message.properties.push_back(Text(PR_BODY_W, text));
        File(message, "report-" + std::to_string(index) + ".pdf", "application/pdf", generator.Binary(size));
        break;
    case 4: case 5: {  // HTML with an inline picture and a file
        message.properties.push_back(Text(PR_BODY_W, text));
        message.properties.push_back(Bytes(PR_HTML, "<html><body><p>" + text + "</p><img src=\"cid:logo@corpus\"></body></html>"));
        MsgAttachment& picture = File(message, "logo.png", "image/png", generator.Binary(size / 4));
        picture.properties.push_back(Text(PR_ATTACH_CONTENT_ID_W, "logo@corpus"));
        picture.properties.push_back(Number(PR_ATTACH_FLAGS, 4));
        File(message, "sheet.xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
            generator.Binary(size - size / 4));
        break;
    }
    case 6: case 7:  // RTF that encapsulates HTML, as Outlook keeps HTML mail
        message.properties.push_back(Text(PR_BODY_W, text));
        message.properties.push_back(Bytes(PR_RTF_COMPRESSED,
            Compressed("{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag <html><body><p>}" + text + "{\\*\\htmltag </p></body></html>}}")));
        File(message, "photo.jpg", "image/jpeg", generator.Binary(size));
        break;
    case 8: {  // an attached e-mail with its own file
        message.properties.push_back(Text(PR_BODY_W, text));
        MsgAttachment& attachment = message.attachments.emplace_back();
        attachment.properties = {Number(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), Text(PR_DISPLAY_NAME_W, "Forwarded"),
            Property(PR_ATTACH_DATA_OBJ)};
        attachment.embedded = std::make_unique<MsgMessage>();
        Header(*attachment.embedded, index + 100000);
        attachment.embedded->properties.push_back(Text(PR_BODY_W, generator.Words(1000)));
        File(*attachment.embedded, "inner.pdf", "application/pdf", generator.Binary(size));
        break;
    }
    default:  // native RTF: carried as TNEF beside its text
        message.properties.push_back(Text(PR_BODY_W, text));
        message.properties.push_back(Bytes(PR_RTF_COMPRESSED, Compressed("{\\rtf1\\ansi {\\b Bold} " + text + "\\par}")));
        File(message, "notes.docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
            generator.Binary(size));
        break;
    }
}

} // namespace

std::vector<MsgDocument> BuildCorpus(std::size_t count, std::size_t totalBytes)
{
    Generator generator;
    std::vector<MsgDocument> corpus(count);
    const std::size_t average = totalBytes / count;
    for (std::size_t index = 0; index < count; ++index) {
        Header(corpus[index].message, index);
        Fill(corpus[index].message, index, generator.Around(average), generator);
    }
    return corpus;
}

std::vector<std::string> WriteCorpus(const std::string& directory, std::size_t count, std::size_t totalBytes)
{
    std::vector<std::string> paths;
    const std::vector<MsgDocument> corpus = BuildCorpus(count, totalBytes);
    for (std::size_t index = 0; index < corpus.size(); ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "/mail-%03zu.msg", index);
        std::string error;
        if (FAILED(platform::cfb::WriteMsgFile(directory + name, corpus[index], error)))
            throw std::runtime_error(error);
        paths.push_back(directory + name);
    }
    return paths;
}

} // namespace bench
