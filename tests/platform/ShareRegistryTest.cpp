#include "platform/posix/ShareRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ExclusiveUse.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;

TEST(ShareRegistry, ClaimsMeetBySameFileSamePathOrEnclosingTree) {
  ShareRegistry registry;
  auto file = registry.TryClaim({FileKey{1, 10}, "/srv/root/a.txt", false});
  ASSERT_TRUE(file);
  EXPECT_FALSE(registry.TryClaim({FileKey{1, 10}, "/srv/root/hard-link.txt", false}));
  EXPECT_FALSE(registry.TryClaim({std::nullopt, "/srv/root/a.txt", false}));
  EXPECT_FALSE(registry.TryClaim({FileKey{1, 5}, "/srv/root", true})) << "folder holding a claim";
  EXPECT_FALSE(registry.TryClaim({FileKey{1, 5}, "/", true}));
  EXPECT_TRUE(registry.TryClaim({FileKey{2, 10}, "/srv/root/b.txt", false})) << "other device";
  EXPECT_TRUE(registry.TryClaim({FileKey{1, 6}, "/srv/root2", true})) << "a sibling, not a parent";

  auto tree = registry.TryClaim({FileKey{1, 7}, "/srv/pub", true});
  ASSERT_TRUE(tree);
  EXPECT_FALSE(registry.TryClaim({std::nullopt, "/srv/pub/new/x.txt", false}));
  EXPECT_TRUE(registry.TryClaim({std::nullopt, "/srv/public.txt", false}));
}

TEST(ShareRegistry, ClaimsForReadingShareOnlyWithEachOther) {
  ShareRegistry registry;
  const ClaimTarget reading{FileKey{1, 10}, "/srv/pub/handout.pdf", false, true};
  auto first = registry.TryClaim(reading);
  auto second = registry.TryClaim(reading);
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(registry.TryClaim({FileKey{1, 10}, "/srv/pub/handout.pdf", false, false}));
  EXPECT_FALSE(registry.TryClaim({std::nullopt, "/srv/pub/handout.pdf", false, false}));
  EXPECT_FALSE(registry.TryClaim({FileKey{1, 5}, "/srv/pub", true, false})) << "the folder";
  first.reset();
  second.reset();

  auto writing = registry.TryClaim({FileKey{1, 10}, "/srv/pub/handout.pdf", false, false});
  ASSERT_TRUE(writing);
  EXPECT_FALSE(registry.TryClaim(reading));
}

TEST(ShareRegistry, ReleaseHappensOnceWhereverTheClaimMoved) {
  ShareRegistry registry;
  const ClaimTarget target{FileKey{1, 10}, "/a", false};
  {
    auto claim = registry.TryClaim(target);
    ASSERT_TRUE(claim);
    ShareRegistry::Claim moved = std::move(*claim);
    EXPECT_FALSE(registry.TryClaim(target));
    claim.reset();  // the moved-from claim releases nothing
    EXPECT_FALSE(registry.TryClaim(target));
  }
  EXPECT_TRUE(registry.TryClaim(target));
}

TEST(ExclusiveUse, FileLockedByAnotherHolderCannotBeClaimed) {
  TempDir dir;
  const std::string path = dir.Write("held.txt", "data");
  {
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(ExclusiveUse::Claim(path));
    ::close(other);
  }
  auto use = ExclusiveUse::Claim(path);
  ASSERT_TRUE(use);
  EXPECT_EQ(use->Kind(), EntryKind::File);
  ASSERT_NE(use->OpenFile(), nullptr);
  EXPECT_FALSE(ExclusiveUse::Claim(path)) << "second claim in the same process";
  // Another program that locks is refused too.
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
  use.reset();
  EXPECT_TRUE(ExclusiveUse::Claim(path));
}

TEST(ExclusiveUse, ReadersLockSharedAgainstOtherPrograms) {
  TempDir dir;
  const std::string path = dir.Write("handout.pdf", "pages");
  auto reader = ExclusiveUse::Claim(path, Sharing::Readers);
  ASSERT_TRUE(reader);
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "a writer elsewhere is kept out";
  EXPECT_EQ(::flock(other, LOCK_SH | LOCK_NB), 0) << "a reader elsewhere is let in";
  EXPECT_TRUE(ExclusiveUse::Claim(path, Sharing::Readers)) << "and is let in by it";
  EXPECT_FALSE(ExclusiveUse::Claim(path));
  ::close(other);
}

TEST(ExclusiveUse, KindsAreTakenWithoutFollowingLinks) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_symlink(dir / "folder", dir / "link");
  EXPECT_EQ(ExclusiveUse::Claim(dir / "folder")->Kind(), EntryKind::Folder);
  const auto link = ExclusiveUse::Claim(dir / "link");
  EXPECT_EQ(link->Kind(), EntryKind::Link);
  EXPECT_EQ(ExclusiveUse::Claim(dir / "missing")->Kind(), EntryKind::Missing);
  EXPECT_FALSE(ExclusiveUse::Claim(dir / "link")) << "a link is claimed by its own path";
}

}  // namespace
}  // namespace orvo::platform
