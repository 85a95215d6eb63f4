#include <gtest/gtest.h>

#include "mime/MimeServices.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    KestrinMIMEEngineCommon::InitializeMimeEngine();
    return RUN_ALL_TESTS();
}
