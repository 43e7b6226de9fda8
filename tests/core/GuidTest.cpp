#include "core/Guid.h"

#include <gtest/gtest.h>

namespace tardivox {
namespace {

TEST(Guid, ParsesAndWritesTheBracedForm) {
  const auto g = Guid::Parse("{01621a5c-9936-4BEB-BF6F-5D6754E65786}");
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->data1, 0x01621A5Cu);
  EXPECT_EQ(g->data4[7], 0x86);
  EXPECT_EQ(g->ToString(), "{01621A5C-9936-4BEB-BF6F-5D6754E65786}");
  EXPECT_EQ(Guid::Parse("01621A5C-9936-4BEB-BF6F-5D6754E65786"), g);
}

TEST(Guid, RefusesMalformedText) {
  for (const char* bad :
       {"", "{}", "{01621A5C-9936-4BEB-BF6F-5D6754E6578}",
        "{01621A5C-9936-4BEB-BF6F-5D6754E657866}", "{01621A5C99364BEBBF6F5D6754E65786}",
        "{0162XA5C-9936-4BEB-BF6F-5D6754E65786}", "{01621A5C-9936-4BEB-BF6F-5D6754E65786"}) {
    EXPECT_FALSE(Guid::Parse(bad).has_value()) << bad;
  }
  EXPECT_THROW(Guid::FromString("nope"), std::invalid_argument);
}

}  // namespace
}  // namespace tardivox
