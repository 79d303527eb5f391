// Restrictions on table rows: checking, copying and evaluating an SRestriction tree.
#pragma once

#include <span>
#include <vector>

#include <mapidefs.h>

namespace mapi {

// S_OK for a tree this runtime evaluates; MAPI_E_TOO_COMPLEX for kinds it does not (sub-object
// and count restrictions) and for trees deeper than it follows; MAPI_E_INVALID_PARAMETER for
// malformed nodes (missing values, unknown operators, a bad regular expression).
HRESULT CheckRestriction(const SRestriction& restriction);

// A deep copy whose every part hangs on the MAPI allocation chain of `root`.
SCODE CopyRestriction(SRestriction& target, const SRestriction& source, void* root);

// Whether a row (its property values) satisfies a checked restriction. A restriction on a
// property that the row lacks is false, whatever the operator; string comparisons of
// RES_PROPERTY ignore case, as the Exchange stores do; RELOP_RE is an ECMAScript search.
bool Matches(const SRestriction& restriction, std::span<const SPropValue> row);

// Adds the tags of the properties a checked restriction looks at to `tags`.
void RestrictionTags(const SRestriction& restriction, std::vector<ULONG>& tags);

} // namespace mapi
