// Helpers of the message tests: the shared Outlook samples, property reads, streams and tables.
#pragma once

#include "platform/locale/Utf16.h"
#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mapitest {

// The shared Outlook samples beside the repository (empty when they are not there).
const std::filesystem::path& SamplesDirectory();
bool HaveSamples();

// Opens a sample (relative to SamplesDirectory()) or another .msg file; fails the test on an error.
MapiPtr<IMessage> OpenMessage(const std::filesystem::path& path, ULONG flags = 0);
MapiPtr<IMessage> OpenSample(const std::string& relative, ULONG flags = 0);

// The values of GetProps for these tags (all of them when `tags` is empty).
MapiBuffer<SPropValue> GetProps(IMAPIProp* object, const std::vector<ULONG>& tags, ULONG flags, ULONG& count,
                                HRESULT* result = nullptr);

// One property: the text of a string (UTF-8 for either form: the tests run in a UTF-8 locale), or
// "<error x>" when the answer is an error value.
std::string Text(IMAPIProp* object, ULONG tag);
LONG Long(IMAPIProp* object, ULONG tag, LONG absent = -1);
bool Has(IMAPIProp* object, ULONG tag);


// OpenProperty with IID_IStream and its bytes; the status when it fails.
HRESULT StreamBytes(IMAPIProp* object, ULONG tag, std::string& bytes, ULONG flags = 0);

// Every row of a table with the given columns (the table's own when `columns` is empty).
std::vector<std::vector<SPropValue>> Rows(IMAPITable* table, const std::vector<ULONG>& columns, MapiRows& keep);
const SPropValue* Find(const std::vector<SPropValue>& row, ULONG tag);
std::string RowText(const std::vector<SPropValue>& row, ULONG tag);

// The embedded message of attachment `attachNumber`, both opened with `flags`; the attachment goes
// to `attachment` when given, so that changes can be saved through it.
MapiPtr<IMessage> Embedded(IMessage* message, ULONG attachNumber, ULONG flags = 0, MapiPtr<IAttach>* attachment = nullptr);

} // namespace mapitest
