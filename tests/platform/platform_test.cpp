// SPDX-License-Identifier: MIT
// The platform layer on the system the tests run on (Linux, or Windows under
// Wine): what a file is, and the steps of a whole-file write, including its
// failures, through the output layer that uses them.
#include "platform.h"
#include "output_internal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

std::string ReadThrough(const std::string& path) {
  FILE* file = OpenStream(path.c_str(), "rb");
  if (file == nullptr) return "(cannot open)";
  std::string text;
  char block[256];
  for (size_t got; (got = fread(block, 1, sizeof block, file)) != 0;) text.append(block, got);
  fclose(file);
  return text;
}

TEST(FileFacts, TellKindsSizesAndIdentities) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a"), "12345"));
  ASSERT_TRUE(WriteFileBytes(dir.File("b"), "12345"));
  FileFacts a, again, b, folder, missing;
  ASSERT_TRUE(FactsOfPath(dir.File("a").c_str(), a));
  ASSERT_TRUE(FactsOfPath((dir.path + "/./a").c_str(), again));
  ASSERT_TRUE(FactsOfPath(dir.File("b").c_str(), b));
  ASSERT_TRUE(FactsOfPath(dir.path.c_str(), folder));
  ASSERT_TRUE(FactsOfPath(dir.File("none").c_str(), missing));
  EXPECT_EQ(a.kind, FileKind::Regular);
  EXPECT_EQ(a.size, 5);
  EXPECT_EQ(folder.kind, FileKind::Folder);
  EXPECT_EQ(missing.kind, FileKind::Missing);
  EXPECT_TRUE(SameIdentity(a, again));
  EXPECT_FALSE(SameIdentity(a, b));
  EXPECT_FALSE(SameIdentity(missing, missing));
  FILE* stream = OpenStream(dir.File("a").c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  FileFacts open;
  EXPECT_TRUE(FactsOfStream(stream, open));
  EXPECT_TRUE(SameIdentity(a, open));
  fclose(stream);
}

TEST(FileFacts, KindsAndIdentitiesOfOutputs) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a"), "1"));
  std::string finalPath;
  EXPECT_EQ(InspectPath(dir.File("a"), finalPath), PathKind::File);
  EXPECT_EQ(finalPath, dir.File("a"));
  EXPECT_EQ(InspectPath(dir.path, finalPath), PathKind::Folder);
  EXPECT_EQ(InspectPath(dir.File("none"), finalPath), PathKind::Absent);
  EXPECT_EQ(InspectPath("/dev/stdout", finalPath), PathKind::Stream);
  PathIdentity a, again, none, noneAgain;
  ASSERT_TRUE(IdentityOfPath(dir.File("a"), a));
  ASSERT_TRUE(IdentityOfPath(dir.path + "/./a", again));
  ASSERT_TRUE(IdentityOfPath(dir.File("none"), none));
  ASSERT_TRUE(IdentityOfPath(dir.path + "/./none", noneAgain));
  EXPECT_TRUE(a.device == again.device && a.number == again.number && a.name == again.name);
  EXPECT_TRUE(none.number == noneAgain.number && none.name == noneAgain.name);
  EXPECT_FALSE(none.name.empty());
  EXPECT_EQ(FolderOf(dir.File("a")), dir.path);
  EXPECT_EQ(BaseNameOf(dir.File("a")), "a");
  EXPECT_TRUE(IsAbsolutePath(dir.path));
  EXPECT_FALSE(IsAbsolutePath("fonts/a.bdf"));
}

TEST(Files, NewFileReplaceAndMemoryStream) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("old"), "old"));
  errno = 0;
  EXPECT_EQ(CreateNew(dir.File("old")), -1);
  EXPECT_EQ(errno, EEXIST);
  FILE* made = WriteStreamOf(CreateNew(dir.File("new")));
  ASSERT_NE(made, nullptr);
  EXPECT_GE(fputs("line\n", made), 0);
  EXPECT_EQ(fflush(made), 0);
  EXPECT_TRUE(SyncDescriptor(fileno(made)));
  fclose(made);
  EXPECT_TRUE(ReplaceWith(dir.File("new").c_str(), dir.File("old").c_str()));
  EXPECT_EQ(ListDir(dir.path), std::vector<std::string>{"old"});
  EXPECT_EQ(ReadThrough(dir.File("old")), "line\n");  // binary: no CR added
  const char bytes[] = "\x01\r\n\x1a";
  FILE* memory = StreamOfBytes(bytes, 4);
  ASSERT_NE(memory, nullptr);
  char back[8] = {};
  EXPECT_EQ(fread(back, 1, sizeof back, memory), 4u);
  EXPECT_EQ(memcmp(back, bytes, 4), 0);
  fclose(memory);
}

// Every outcome leaves the complete new file or the old one, and no
// temporary file beside it.
TEST(WholeFile, ReplacesOrLeavesAllAsItWas) {
  struct Case {
    const char* name;
    const char* target;  // inside the test's folder
    bool folderThere;    // the target is a folder
    bool written;
  };
  const Case cases[] = {
      {"new file", "out.qpk", false, true},
      {"replaces the old file", "old.qpk", false, true},
      {"UTF-8 name", "\xe5\xa4\x89\xe6\x8f\x9b.qpk", false, true},
      {"missing folder", "none/out.qpk", false, false},
      {"target is a folder", "folder", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("old.qpk"), "previous"));
    if (c.folderThere) {
      ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder")));
    }
    const std::string target = dir.File(c.target);
    const bool written = WriteWholeFile(target.c_str(), "head", 4, "body", 4);
    EXPECT_EQ(written, c.written);
    if (c.written) {
      EXPECT_EQ(ReadThrough(target), "headbody");
    }
    if (std::string(c.target) != "old.qpk") {
      EXPECT_EQ(ReadThrough(dir.File("old.qpk")), "previous");
    }
    ExpectNoTemporaries(dir.path);
  }
}

}  // namespace
