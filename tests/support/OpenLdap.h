// Loads LDIF into a real OpenLDAP: slapadd in dry-run mode against a configuration of its own with
// the core, cosine and inetOrgPerson schemas, in a temporary directory.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct SlapaddResult {
    bool available = false;      // slapadd and the schemas are installed
    int exitCode = -1;
    std::vector<std::string> added;  // the DNs slapadd reports as added, in its form
    std::string messages;        // everything it wrote
};

// Runs slapadd -u on the LDIF with a database whose suffix is `suffix`.
SlapaddResult LoadIntoOpenLdap(const std::string& ldif, const std::string& suffix);

} // namespace testsupport
