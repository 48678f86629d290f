#include "remote/FTPConnection.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/testing/LogCapture.h"

namespace {

using Quor::Common::FTPConnection;

TEST(FTPConnection, EveryFileOperationSucceedsWithoutTouchingAnything) {
    QuorTest::LogCapture log;
    errno = 0;
    HRESULT result = E_FAIL;
    FTPConnection ftp(result, std::string("127.0.0.1"), std::string("alice"), std::string("s3cret"));
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ(S_OK, ftp.PutFile("/no/such/local/file", "/remote/file", 0x12));
    EXPECT_TRUE(log.Has("(\"/no/such/local/file\", \"/remote/file\", 0x00000012)"));
    EXPECT_EQ(S_OK, ftp.GetFile("/remote", "/no/such/folder/local", nullptr, true));
    EXPECT_TRUE(log.Has("(\"/remote\", \"/no/such/folder/local\", TRUE)"));
    std::vector<std::string> files = {"kept"};
    EXPECT_EQ(S_OK, ftp.FindFiles(files, "*"));
    EXPECT_EQ(std::vector<std::string>{"kept"}, files);
    EXPECT_EQ(S_OK, ftp.CreateDirectory("/d"));
    EXPECT_EQ(S_OK, ftp.RemoveDirectory("/d"));
    EXPECT_EQ(S_OK, ftp.DeleteFile("/f"));
    EXPECT_EQ(S_OK, ftp.RenameFile("/f", "/g"));
    EXPECT_EQ(S_OK, ftp.SetCurrentDirectory("/here"));
    std::string folder;
    EXPECT_EQ(S_OK, ftp.GetCurrentDirectory(folder));
    EXPECT_EQ("/here", folder);
}

TEST(FTPConnection, CredentialsNeverReachTheLog) {
    QuorTest::LogCapture log;
    errno = 0;
    HRESULT result = E_FAIL;
    FTPConnection ftp(result, "127.0.0.1", "alice", "s3cret");
    EXPECT_TRUE(log.Has("(127.0.0.1, <user>, <pass>)"));
    EXPECT_FALSE(log.Contains("alice"));
    EXPECT_FALSE(log.Contains("s3cret"));
}

TEST(FTPConnection, ConnectReportsThePendingSystemError) {
    errno = ENOENT;
    HRESULT result = S_OK;
    FTPConnection ftp(result, "127.0.0.1", "u", "p");
    EXPECT_TRUE(FAILED(result));
    errno = 0;
    EXPECT_EQ(S_OK, ftp.Reconnect());
}

}  // namespace
