// The conversion library's trace lines reach the log exactly while its mask has bit 0x40.
#include "ex2qln/diag/Log.h"
#include "ex2qln/driver/ConversionLog.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ex2qln::driver {
namespace {

// The messages of the log's lines, without the date, time and process prefix and the CR LF.
std::vector<std::string> Messages(const std::string& log)
{
    std::vector<std::string> messages;
    std::size_t start = 0;
    for (std::size_t end = log.find("\r\n"); end != std::string::npos; end = log.find("\r\n", start)) {
        const std::string line = log.substr(start, end - start);
        const std::size_t prefix = line.find("]  ");
        messages.push_back(prefix == std::string::npos ? line : line.substr(prefix + 3));
        start = end + 2;
    }
    return messages;
}

TEST(ConversionLog, ConversionTraceLinesFollowTheirBitInTheLogMask)
{
    testsupport::TemporaryDirectory directory;
    const std::string path = directory.File("ex2qln.log");
    // The log's first opening fixes the file; later ones only replace the mask.
    diag::OpenLog(diag::kTraceConversion, path.c_str(), 0, false);
    RouteConversionTrace();

    mmconv::TraceConversion("CMMMessage(%#x)::SaveHeader", 0x1234);
    diag::OpenLog(0x21, nullptr, 0, false);  // the run's own mask, without the conversion bit
    mmconv::TraceConversion("not while the bit is off");
    diag::OpenLog(0x21 | diag::kTraceConversion, nullptr, 0, false);
    mmconv::TraceConversion("********Unable to retrieve codepage \"%d\" from registry", 12345);
    mmconv::SetConversionTrace(nullptr);
    diag::OpenLog(0, nullptr, 0, false);

    const std::vector<std::string> messages = Messages(testsupport::ReadFile(path));
    // After the OS, App and Dll lines that open every log.
    ASSERT_EQ(messages.size(), 5u) << testsupport::ReadFile(path);
    EXPECT_EQ(messages[3], "CMMMessage(0x1234)::SaveHeader");
    EXPECT_EQ(messages[4], "********Unable to retrieve codepage \"12345\" from registry");
}

} // namespace
} // namespace ex2qln::driver
