// GMime is set up once before any test of this binary runs, as the
// application does at start-up: some readers use GMime calls that do not set
// it up themselves.
#include <gtest/gtest.h>

#include "mime/MimeServices.h"

namespace {

class MimeEngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { KestrinMIMEEngineCommon::InitializeMimeEngine(); }
};

const ::testing::Environment* const kMimeEngine =
    ::testing::AddGlobalTestEnvironment(new MimeEngineEnvironment);

}  // namespace
