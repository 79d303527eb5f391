// Independent check: Python's email package (policy.default) reads a message built from our encoded
// words, quoted-printable and Base64 without any defect and decodes them back to what went in.
#include "mmconv/encoding/Base64.h"
#include "mmconv/encoding/ByteStream.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Rfc1522.h"
#include "mmconv/encoding/Utf8.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <string>

namespace mmconv {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Prints "defects N", then one line per checked header and part: a key and the hex of its UTF-8
// (text) or raw (binary) value.
constexpr const char* kChecker = R"PY(
import sys
from email import policy
from email.parser import BytesParser
with open(sys.argv[1], 'rb') as f:
    msg = BytesParser(policy=policy.default).parse(f)
defects = []
for part in msg.walk():
    defects += [repr(d) for d in part.defects]
    for name, value in part.items():
        defects += [name + ': ' + repr(d) for d in getattr(value, 'defects', ())]
print('defects', len(defects))
for d in defects:
    print('defect', d)
for name in ('Subject', 'X-Koi8', 'X-Sjis', 'X-Latin', 'From'):
    print('header', name, str(msg[name]).encode('utf-8').hex())
for part in msg.walk():
    if part.get_content_maintype() == 'multipart':
        continue
    content = part.get_content()
    if isinstance(content, str):
        print('text', content.encode('utf-8').hex())
    else:
        print('binary', content.hex())
)PY";

std::string Hex(std::string_view bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
        hex.push_back(kDigits[static_cast<unsigned char>(c) & 0x0F]);
    }
    return hex;
}

std::string Encoded(std::optional<unsigned> codePage, std::u16string_view text)
{
    std::string result;
    EXPECT_EQ(GetRfc1522EncodedString(CMMLang(65001), codePage, text, result), S_OK);
    return result;
}

std::string Transfer(std::string_view data, int mode)
{
    std::string out;
    StringSink sink(out);
    MemorySource source(data);
    EXPECT_EQ(OutputEncodedData(sink, source, mode, true), S_OK);
    return out;
}

// What the checker prints about `message`, its errors included.
std::string RunChecker(const std::string& message)
{
    testsupport::ProcessRun run;
    run.program = kPython;
    run.arguments = {"-c", kChecker, message};
    run.errorsWithOutput = true;
    return testsupport::RunProcess(run).standardOutput;
}

TEST(MimeCheck, PythonEmailDecodesOurHeadersAndBodiesWithoutDefects)
{
    if (access(kPython, X_OK) != 0)
        GTEST_SKIP() << kPython << " is not installed; the independent MIME check did not run";

    const std::u16string subject =
        u"R\u00e9sum\u00e9 of the quarterly meeting \u2013 \u65e5\u672c\u8a9e\u306e\u4ef6\u540d "
        u"\U0001F600 and a long tail that needs several encoded words, caf\u00e9 cr\u00e8me";
    const std::u16string koi8 = u"\u0491\u0430\u043d\u043e\u043a \u0456 \u043f\u0440\u0438\u0432"
                                u"\u0456\u0442 \u0443\u0441\u0456\u043c \u0434\u0440\u0443\u0437"
                                u"\u044f\u043c \u0437 \u043a\u043e\u043c\u0430\u043d\u0434\u0438";
    const std::u16string sjis = u"\u4f1a\u8b70\u306e\u304a\u77e5\u3089\u305b\u3068\u8b70\u4e8b"
                                u"\u9332\u3001\u6765\u9031\u306e\u4e88\u5b9a\u306b\u3064\u3044"
                                u"\u3066\u306e\u3054\u6848\u5185\u3067\u3059";
    const std::u16string latin = u"Stra\u00dfe \u00e0 la fran\u00e7aise, sehr sch\u00f6n";
    const std::u16string name = u"J\u00fcrgen M\u00fcller";

    std::string body;
    for (int i = 0; i < 30; ++i)
        body += "Line with = signs, trailing blanks \t \r\nand a very long line " +
            std::string(90, 'x') + " caf\xC3\xA9 \xE2\x82\xAC\r\n";
    body += "lone\nfeed and lone\rreturn, ending in a blank ";
    std::string attachment;
    for (int i = 0; i < 5000; ++i)
        attachment.push_back(static_cast<char>((i * 131) ^ (i >> 3)));

    std::string message = "MIME-Version: 1.0\r\n";
    message += "From: " + Encoded(65001, name) + " <mueller@example.com>\r\n";
    message += "Subject: " + Encoded(65001, subject) + "\r\n";
    message += "X-Koi8: " + Encoded(21866, koi8) + "\r\n";
    message += "X-Sjis: " + Encoded(932, sjis) + "\r\n";
    message += "X-Latin: " + Encoded(28591, latin) + "\r\n";
    message += "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n";
    message += "--b1\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    message += Transfer(body, 1) + "\r\n\r\n";
    message += "--b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
               "Content-Transfer-Encoding: base64\r\n"
               "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n";
    message += Transfer(attachment, 0) + "\r\n\r\n--b1--\r\n";

    const testsupport::TemporaryDirectory directory;
    const std::string output = RunChecker(directory.Write("message.eml", message));

    std::map<std::string, std::string> values;
    std::string lines = output;
    std::size_t start = 0;
    std::string defects;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        const std::string line = lines.substr(start, end - start);
        start = end == std::string::npos ? lines.size() : end + 1;
        if (line.rfind("defect ", 0) == 0)
            defects += line + "\n";
        const std::size_t space = line.rfind(' ');
        if (space != std::string::npos)
            values[line.substr(0, space)] = line.substr(space + 1);
    }
    ASSERT_EQ(values["defects"], "0") << defects << output;
    EXPECT_EQ(values["header Subject"], Hex(WideToUtf8(subject)));
    EXPECT_EQ(values["header X-Koi8"], Hex(WideToUtf8(koi8)));
    EXPECT_EQ(values["header X-Sjis"], Hex(WideToUtf8(sjis)));
    EXPECT_EQ(values["header X-Latin"], Hex(WideToUtf8(latin)));
    EXPECT_EQ(values["header From"], Hex(WideToUtf8(name + u" <mueller@example.com>")));
    // Python hands text back with CR LF turned into LF; lone CR and LF come back as they were. The
    // line break before the boundary ends the content.
    std::string expectedText;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body.compare(i, 2, "\r\n") != 0)
            expectedText.push_back(body[i]);
    }
    EXPECT_EQ(values["text"], Hex(expectedText + "\n"));
    EXPECT_EQ(values["binary"], Hex(attachment));
}

} // namespace
} // namespace mmconv
