// The walk that turns a message (through IMessage only) into a TNEF stream: which properties of
// the message and its attachments go in, their values, names, recipients and embedded messages.
#pragma once

#include <map>
#include <vector>

#include <MapiPtr.h>

namespace mapi {

// Which properties of one object are encoded, as the AddProps calls asked: each rule includes the
// listed ids or everything but them; a property is encoded when any rule takes it.
class PropertySelection {
public:
    void Include(const SPropTagArray* tags) { AddRule(false, tags); }
    void Exclude(const SPropTagArray* tags) { AddRule(true, tags); }
    void Merge(const PropertySelection& other);
    bool Selects(ULONG tag) const;
    bool Empty() const { return rules_.empty(); }

private:
    struct Rule {
        bool exclude = false;
        std::vector<ULONG> ids;
    };
    void AddRule(bool exclude, const SPropTagArray* tags);

    std::vector<Rule> rules_;
};

// Values that SetProps put over an object's own, kept in MAPI buffers of their own.
class PropertyOverrides {
public:
    HRESULT Add(ULONG count, const SPropValue* values);
    const SPropValue* Find(ULONG tag) const;
    const std::vector<SPropValue*>& Values() const { return values_; }
    bool Empty() const { return values_.empty(); }

private:
    std::vector<MapiBuffer<SPropValue>> buffers_;
    std::vector<SPropValue*> values_;  // the latest value of each id, into buffers_
};

struct ComponentRequest {
    PropertySelection selection;
    PropertyOverrides overrides;
};

// Everything the calls on one TNEF object asked for.
struct TnefRequest {
    WORD key = 1;
    ComponentRequest message;
    PropertySelection everyAttachment;           // applies to all attachments
    std::map<ULONG, ComponentRequest> attachments;  // by attachment number
    bool encodeRecipients = false;
    MapiRows recipientRows;                      // as EncodeRecips read them
};

struct TnefProblem {
    ULONG component = 0;  // 0 for the message, else the attachment number
    ULONG attribute = 0;
    ULONG tag = 0;
    SCODE scode = S_OK;
};

// Appends the TNEF stream of `message` to `output`. Properties that cannot be encoded (an error
// value, a named id without a name, an object other than an embedded message) are left out and
// listed in `problems`; an attachment that cannot be read stops the encoding with its status.
HRESULT EncodeTnefStream(IMessage* message, const TnefRequest& request, std::vector<BYTE>& output,
                         std::vector<TnefProblem>& problems);

} // namespace mapi
