#include <gtest/gtest.h>

#include "assets/Codes.h"

using namespace KestrinMIMEEngineCommon;

namespace {

// The texts are what the command line's JSON prints and the numbers what its
// listing has always shown: scripts read both.
TEST(CodesTest, TextsAndListedNumbersStayAsPublished)
{
    EXPECT_STREQ(ToString(Status::Succeeded), "succeeded");
    EXPECT_STREQ(ToString(Status::Canceled), "canceled");
    EXPECT_STREQ(ToString(Status::Failed), "failed");

    struct Case {
        const char* name;
        StoreKind kind;
        int number;
    };
    const Case cases[] = {
        {"envelope-index", StoreKind::EnvelopeIndex, 0}, {"mbox-archive", StoreKind::MboxArchive, 1},
        {"archive", StoreKind::Archive, 2},              {"mbox", StoreKind::Mbox, 6},
        {"eml", StoreKind::Eml, 7},                      {"apple-mail-v1", StoreKind::AppleMailV1, 38},
        {"apple-mail-v2", StoreKind::AppleMailV2, 39},   {"maildir", StoreKind::Maildir, 8},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(ToString(c.kind), c.name);
        EXPECT_EQ(StoreKindNumber(c.kind), c.number) << c.name;
    }
}

}  // namespace
