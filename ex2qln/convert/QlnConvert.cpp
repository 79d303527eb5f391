// qlnconvert: converts Outlook .msg files, and the messages of Outlook data files, into Internet
// messages exactly as the transfer would upload them, for administrators who want to see or keep
// the result, and for checks.
#include <MapiPtr.h>
#include <QlnMapiExtras.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapix.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ex2qln/convert/ConvertOptions.h"
#include "ex2qln/convert/DataFileMessages.h"
#include "ex2qln/convert/FileOutputStream.h"
#include "ex2qln/transfer/ConfigProp.h"
#include "mmconv/MMConv.h"
#include "platform/base/BatchAllocator.h"

#include "Version.h"

namespace {

constexpr int kSomeFailed = 1;
constexpr int kUsageError = 2;
// The conversion the transfer asks for.
constexpr ULONG kTransferFlags = 0x01;

constexpr const char* kUsage =
    "Usage: qlnconvert [--convert-rtf] [--user=SMTP] [--name=TEXT] [--code-page=N] [-o DIR]\n"
    "                  FILE.msg|FILE.pst...\n"
    "Writes DIR/NAME.eml for each FILE.msg (DIR is the current directory by default; -o - writes\n"
    "the one message to standard output), and for an Outlook data file (.pst, .ost) NAME.pst\n"
    "DIR/NAME/FOLDER/.../00001.eml for each message of each folder. --user and --name give the\n"
    "mailbox the messages belong to, as a transfer would. --code-page is that of a data file's\n"
    "8-bit text where the text does not name its own (default 1252).\n";

// MAPIInitialize and the conversion library for the life of the tool.
class Started {
public:
    explicit Started(bool convertRtf)
    {
        status_ = MAPIInitialize(nullptr);
        if (SUCCEEDED(status_))
            status_ = mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, convertRtf ? 1 : 0);
    }
    ~Started()
    {
        mmconv::MMConvFree();
        MAPIUninitialize();
    }
    HRESULT status() const { return status_; }

private:
    HRESULT status_ = S_OK;
};

// The server settings a transfer would hold, with the mailbox identity.
HRESULT MakeSettings(const ex2qln::convert::ConvertOptions& options, MapiPtr<IPropData>& settings)
{
    HRESULT hr = CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
        settings.put());
    if (FAILED(hr))
        return hr;
    std::vector<SPropValue> values;
    std::string user = options.user.value_or("");
    std::string name = options.name.value_or("");
    if (options.user)
        values.push_back({PR_EMAIL_ADDRESS_A, 0, {.lpszA = user.data()}});
    if (options.name)
        values.push_back({PR_DISPLAY_NAME_A, 0, {.lpszA = name.data()}});
    if (values.empty())
        return S_OK;
    return settings->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr);
}

// The runtime's error text names the file first; the report names it already.
std::string WithoutFileName(const std::string& path, const char* text)
{
    std::string reason = text != nullptr ? text : "";
    const std::string prefix = path + ": ";
    if (reason.starts_with(prefix))
        reason.erase(0, prefix.size());
    return reason.empty() ? "cannot be opened" : reason;
}

HRESULT WriteStream(IStream* stream, std::FILE* file)
{
    LARGE_INTEGER start{};
    if (HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr); FAILED(hr))
        return hr;
    char buffer[65536];
    for (;;) {
        ULONG read = 0;
        if (HRESULT hr = stream->Read(buffer, sizeof buffer, &read); FAILED(hr))
            return hr;
        if (read == 0)
            return std::fflush(file) == 0 ? S_OK : MAPI_E_DISK_ERROR;
        if (std::fwrite(buffer, 1, read, file) != read)
            return MAPI_E_DISK_ERROR;
    }
}

// A damaged file still converts; what its reader left out is named on standard error.
void ReportLeftOut(const std::string& path, IMessage* message)
{
    MapiBuffer<SPropValue> leftOut;
    if (FAILED(HrGetOneProp(message, PR_QLN_LEFT_OUT_W, leftOut.put())))
        return;
    for (ULONG i = 0; i < leftOut->Value.MVszW.cValues; ++i) {
        std::string part;
        for (const char16_t* c = leftOut->Value.MVszW.lppszW[i]; c != nullptr && *c != 0; ++c)
            part += *c < 0x80 ? static_cast<char>(*c) : '?';
        std::fprintf(stderr, "%s: left out: %s\n", path.c_str(), part.c_str());
    }
}

// Converts `message` into `target`, or to standard output when `target` is empty; `name` stands for
// it in what is reported.
HRESULT ConvertMessage(IMessage* message, const std::string& name, const std::string& target,
    mmconv::IConfigProp& config, std::string& text)
{
    const bool toStandardOutput = target.empty();
    MapiPtr<IStream> stream;
    HRESULT hr = toStandardOutput ? CreateStreamOnHGlobal(nullptr, TRUE, stream.put())
                                  : ex2qln::convert::OpenFileOutputStream(target, stream.put());
    if (FAILED(hr)) {
        text = "cannot write " + target;
        return hr;
    }
    hr = mmconv::MapiToMime(message, stream.get(), static_cast<LPMAPISESSION>(nullptr), &config, kTransferFlags);
    if (FAILED(hr)) {
        text = "cannot be converted";
        stream.reset();
        std::error_code ignored;
        if (!toStandardOutput)
            std::filesystem::remove(target, ignored);
        return hr;
    }
    if (hr == MAPI_W_ERRORS_RETURNED)
        ReportLeftOut(name, message);
    if (!toStandardOutput)
        return S_OK;
    hr = WriteStream(stream.get(), stdout);
    if (FAILED(hr))
        text = "cannot be written to standard output";
    return hr;
}

HRESULT ConvertFile(const std::string& path, const ex2qln::convert::ConvertOptions& options,
    mmconv::IConfigProp& config, std::string& text)
{
    MapiPtr<IMessage> message;
    MapiBuffer<char> error;
    HRESULT hr = QlnOpenMsgFile(path.c_str(), 0, message.put(), error.put());
    if (FAILED(hr)) {
        text = WithoutFileName(path, error.get());
        return hr;
    }
    const std::string target = options.outputDirectory == "-"
        ? std::string()
        : (std::filesystem::path(options.outputDirectory) / std::filesystem::path(path).filename().replace_extension(".eml")).string();
    return ConvertMessage(message.get(), path, target, config, text);
}

// The reader names the file in its errors, by the absolute path the data file is opened with; the
// line that reports one names it already.
std::string WithoutFileName(const std::string& reason, const std::string& path)
{
    std::error_code error;
    const std::string prefix = std::filesystem::absolute(path, error).lexically_normal().string() + ": ";
    return reason.starts_with(prefix) ? reason.substr(prefix.size()) : reason;
}

// Every message of a data file into a folder tree named after the file; each failure is reported
// as it happens, and the result is the last failure's status.
HRESULT ConvertDataFile(const std::string& path, const ex2qln::convert::ConvertOptions& options,
    mmconv::IConfigProp& config, std::string& text)
{
    if (options.outputDirectory == "-") {
        text = "a data file holds many messages: -o - cannot take them";
        return MAPI_E_INVALID_PARAMETER;
    }
    const std::filesystem::path top = std::filesystem::path(options.outputDirectory) / std::filesystem::path(path).stem();
    HRESULT result = S_OK;
    auto report = [&](const std::string& folder, ULONG position, HRESULT hr, const std::string& reason) {
        std::fprintf(stderr, "%s: %s/%05u: %s [%#x]\n", path.c_str(), folder.c_str(), position,
                     WithoutFileName(reason, path).c_str(), static_cast<unsigned>(hr));
        result = hr;
    };
    std::set<std::string> created;
    auto convert = [&](IMessage* message, const std::string& folder, ULONG position) {
        char name[16];
        std::snprintf(name, sizeof name, "%05u.eml", position);
        std::error_code error;
        if (created.insert(folder).second)
            std::filesystem::create_directories(top / folder, error);
        std::string reason;
        HRESULT hr = ConvertMessage(message, path + ": " + folder + "/" + name, (top / folder / name).string(), config, reason);
        if (FAILED(hr))
            report(folder, position, hr, reason);
    };
    HRESULT hr = ex2qln::convert::ForEachDataFileMessage(path, options.codePage, convert, report, text);
    return FAILED(hr) ? hr : result;
}

} // namespace

int main(int argc, char** argv)
{
    if (ex2qln::version::AnswerVersionRequest(argc, argv, "qlnconvert"))
        return 0;
    platform::KeepFreedMemoryForTheNextMessage();
    std::string error;
    const std::optional<ex2qln::convert::ConvertOptions> options =
        ex2qln::convert::ParseConvertOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "qlnconvert: %s.\n%s", error.c_str(), kUsage);
        return kUsageError;
    }
    Started started(options->convertRtf);
    MapiPtr<IPropData> settings;
    HRESULT hr = started.status();
    if (SUCCEEDED(hr))
        hr = MakeSettings(*options, settings);
    if (FAILED(hr)) {
        std::fprintf(stderr, "qlnconvert: cannot start MAPI [%#x].\n", static_cast<unsigned>(hr));
        return kSomeFailed;
    }
    ex2qln::transfer::CConfigProp config(settings.get(), settings.get());
    int status = 0;
    for (const std::string& path : options->files) {
        std::string text;
        const bool dataFile = ex2qln::convert::IsDataFile(path);
        hr = dataFile ? ConvertDataFile(path, *options, config, text) : ConvertFile(path, *options, config, text);
        if (FAILED(hr) && dataFile && text.empty()) {
            status = kSomeFailed;  // each message's failure is reported already
        } else if (FAILED(hr)) {
            std::fprintf(stderr, "%s: %s [%#x]\n", path.c_str(), text.c_str(), static_cast<unsigned>(hr));
            status = kSomeFailed;
        }
    }
    return status;
}
