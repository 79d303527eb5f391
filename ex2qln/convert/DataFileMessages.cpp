// Walking a data file's folders and messages through a MAPI session on a stand-in organisation.
#include "ex2qln/convert/DataFileMessages.h"

#include "ex2qln/convert/OpenedMessageQueue.h"

#include "platform/files/TempDirectory.h"
#include "platform/locale/Utf16.h"
#include "platform/pst/PstStore.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapix.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace ex2qln::convert {
namespace {

// The stand-in organisation's file, removed with the object.
class StandInOrganisation {
public:
    StandInOrganisation(const std::string& dataFile, unsigned codePage)
    {
        std::string pattern = platform::TempDirectory() + "qlnconvert-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            return;
        directory_ = pattern;
        std::error_code error;
        const std::string absolute = std::filesystem::absolute(dataFile, error).lexically_normal().string();
        const nlohmann::json organisation = {
            {"gal", {{{"kind", "user"}, {"account", "owner"}, {"dn", "/o=qlnconvert/cn=owner"},
                      {"smtp", "owner@localhost"}, {"displayName", "Owner"}}}},
            {"mailboxes", {{{"user", "owner"}, {"pst", absolute}, {"codePage", codePage}}}},
        };
        std::ofstream file(Path());
        file << organisation.dump();
        if (!file)
            directory_.clear();
    }
    ~StandInOrganisation()
    {
        std::error_code ignored;
        if (!directory_.empty())
            std::filesystem::remove_all(directory_, ignored);
    }
    bool Written() const { return !directory_.empty(); }
    std::string Path() const { return directory_ + "/organisation.json"; }

private:
    std::string directory_;
};

std::string Utf8(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) != PT_UNICODE || value.Value.lpszW == nullptr)
        return "";
    return platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(value.Value.lpszW));
}

std::string SafeName(std::string name)
{
    for (char& c : name) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    return name == "." || name == ".." || name.empty() ? "_" + name : name;
}

std::string LastError(IMAPIProp* object, HRESULT status)
{
    MapiBuffer<MAPIERROR> details;
    if (object != nullptr && SUCCEEDED(object->GetLastError(status, 0, details.put())) && details.get() != nullptr &&
        details->lpszError != nullptr)
        return reinterpret_cast<const char*>(details->lpszError);
    return "cannot be opened";
}

// Opens the messages of the folders one after another and hands them on through `opened`.
class Walk {
public:
    Walk(IMsgStore* store, OpenedMessageQueue& opened) : store_(store), opened_(opened) {}

    HRESULT Folder(IMAPIFolder* folder, const std::string& path, int depth)
    {
        if (depth > 64)
            return MAPI_E_TOO_BIG;
        MapiPtr<IMAPITable> contents;
        HRESULT hr = folder->GetContentsTable(0, contents.put());
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        if (SUCCEEDED(hr))
            hr = contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
        // A batch of rows at a time, so that a large folder is never listed whole.
        ULONG position = 0;
        for (MapiRows rows; SUCCEEDED(hr);) {
            hr = contents->QueryRows(64, 0, rows.put());
            if (FAILED(hr) || rows.size() == 0)
                break;
            for (ULONG i = 0; i < rows.size(); ++i)
                Message(rows->aRow[i], path, ++position);
        }
        if (FAILED(hr))
            return hr;
        MapiPtr<IMAPITable> children;
        hr = folder->GetHierarchyTable(0, children.put());
        SizedSPropTagArray(2, childColumns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
        MapiRows rows;
        if (SUCCEEDED(hr))
            hr = HrQueryAllRows(children.get(), reinterpret_cast<LPSPropTagArray>(&childColumns), nullptr, nullptr, 0, rows.put());
        for (ULONG i = 0; SUCCEEDED(hr) && i < rows.size(); ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            ULONG type = 0;
            MapiPtr<IMAPIFolder> child;
            hr = folder->OpenEntry(values[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(values[0].Value.bin.lpb),
                                   &IID_IMAPIFolder, 0, &type, child.put_unknown());
            if (SUCCEEDED(hr))
                hr = Folder(child.get(), path + (path.empty() ? "" : "/") + SafeName(Utf8(values[1])), depth + 1);
        }
        return hr;
    }

private:
    void Message(const SRow& row, const std::string& path, ULONG position)
    {
        const SPropValue* entryId = PpropFindProp(row.lpProps, row.cValues, PR_ENTRYID);
        if (entryId == nullptr) {
            opened_.Push({{}, path, position, MAPI_E_NOT_FOUND, "has no entry identifier"});
            return;
        }
        ULONG type = 0;
        MapiPtr<IMessage> message;
        HRESULT hr = store_->OpenEntry(entryId->Value.bin.cb, reinterpret_cast<LPENTRYID>(entryId->Value.bin.lpb),
                                       &IID_IMessage, 0, &type, message.put_unknown());
        if (FAILED(hr)) {
            opened_.Push({{}, path, position, hr, LastError(store_, hr)});
            return;
        }
        opened_.Push({std::move(message), path, position, S_OK, {}});
    }

    IMsgStore* store_;
    OpenedMessageQueue& opened_;
};

// The walk opens messages on a thread of its own while this one gives those opened before to
// `visit` (or `failed`), in the order of the walk; a message converted goes back through the queue
// to the opening thread, which lets it go.
HRESULT WalkAlongside(IMsgStore* store, IMAPIFolder* top,
                      const std::function<void(IMessage*, const std::string&, ULONG)>& visit,
                      const std::function<void(const std::string&, ULONG, HRESULT, const std::string&)>& failed)
{
    constexpr std::size_t kOpenedAhead = 8;
    OpenedMessageQueue queue(kOpenedAhead);
    HRESULT walked = S_OK;
    std::thread opener([&] {
        walked = Walk(store, queue).Folder(top, "", 0);
        queue.Close();
    });
    try {
        for (OpenedMessage opened; queue.Pop(opened);) {
            if (opened.message)
                visit(opened.message.get(), opened.folder, opened.position);
            else
                failed(opened.folder, opened.position, opened.status, opened.reason);
        }
    } catch (...) {
        queue.Close();
        opener.join();
        throw;
    }
    opener.join();
    return walked;
}

HRESULT OpenDefaultStore(IMAPISession* session, MapiPtr<IMsgStore>& store)
{
    MapiPtr<IMAPITable> stores;
    HRESULT hr = session->GetMsgStoresTable(0, stores.put());
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
    MapiRows rows;
    if (SUCCEEDED(hr))
        hr = HrQueryAllRows(stores.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
    for (ULONG i = 0; SUCCEEDED(hr) && i < rows.size(); ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        if (values[1].ulPropTag == PR_DEFAULT_STORE && values[1].Value.b)
            return session->OpenMsgStore(0, values[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(values[0].Value.bin.lpb),
                                         nullptr, MDB_NO_DIALOG | MAPI_BEST_ACCESS, store.put());
    }
    return FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
}

} // namespace

bool IsDataFile(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".pst" || extension == ".ost";
}

HRESULT ForEachDataFileMessage(const std::string& path, unsigned codePage,
                               const std::function<void(IMessage*, const std::string&, ULONG)>& visit,
                               const std::function<void(const std::string&, ULONG, HRESULT, const std::string&)>& failed,
                               std::string& error)
{
    // The file is opened once first, so that a file that is no data file says so in its own words.
    {
        platform::pst::PstStore file;
        HRESULT hr = file.Open(path, error);
        if (FAILED(hr)) {
            if (error.starts_with(path + ": "))
                error.erase(0, path.size() + 2);
            return hr;
        }
    }
    StandInOrganisation organisation(path, codePage);
    if (!organisation.Written()) {
        error = "cannot write a temporary file";
        return MAPI_E_DISK_ERROR;
    }
    std::string profile = organisation.Path();
    MapiPtr<IMAPISession> session;
    HRESULT hr = MAPILogonEx(0, profile.data(), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.put());
    if (FAILED(hr)) {
        error = "cannot be read";
        return hr;
    }
    MapiPtr<IMsgStore> store;
    hr = OpenDefaultStore(session.get(), store);
    MapiBuffer<SPropValue> subtree;
    if (SUCCEEDED(hr))
        hr = HrGetOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, subtree.put());
    ULONG type = 0;
    MapiPtr<IMAPIFolder> top;
    if (SUCCEEDED(hr))
        hr = store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb), &IID_IMAPIFolder,
                              0, &type, top.put_unknown());
    if (SUCCEEDED(hr))
        hr = WalkAlongside(store.get(), top.get(), visit, failed);
    if (FAILED(hr))
        error = "its folders cannot be read";
    return hr;
}

} // namespace ex2qln::convert
