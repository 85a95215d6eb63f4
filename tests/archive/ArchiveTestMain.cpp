// The one main of kestrin_archive_tests: GMime is set up once, as the
// application does at start-up, before any test parses a message.
#include <gtest/gtest.h>

#include "mime/MimeServices.h"

int main(int argc, char** argv)
{
    KestrinMIMEEngineCommon::InitializeMimeEngine();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
