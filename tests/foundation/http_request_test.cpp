#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "foundation/http_request.h"
#include "support/bundle_fixture.h"
#include "support/http_test_server.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace {

using tavrel_test::HttpTestServer;

std::string Response(const CHttpRequest& r)
{
    return r.GetResponseData() ? std::string(reinterpret_cast<const char*>(r.GetResponseData()), r.GetResponseLength())
                               : std::string();
}

// Pumps transfers until done() or ten seconds have passed.
template <typename F>
bool PumpUntil(F done)
{
    for (int i = 0; i < 1000 && !done(); ++i) platform::PumpHttpTransfers(10);
    return done();
}

}  // namespace

TEST(HttpRequest, LargeGetArrivesWhole)
{
    HttpTestServer server;
    ASSERT_TRUE(server.ok());
    const size_t size = 3 * CHttpRequest::kGrowth + 17;
    CHttpRequest request(server.Url("/bytes/" + std::to_string(size)).c_str(), CHttpRequest::kGet);
    ASSERT_TRUE(request.Send(true)) << request.GetError();
    ASSERT_EQ(request.GetResponseLength(), size);
    EXPECT_GE(request.GetResponseCapacity(), size);
    size_t wrong = 0;
    for (size_t i = 0; i < size; ++i) wrong += request.GetResponseData()[i] != HttpTestServer::PatternByte(i);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(request.GetStatus(), 200);

    // A second GET replaces the response rather than adding to it.
    request.SetURL(server.Url("/hello").c_str());
    ASSERT_TRUE(request.GetSync());
    EXPECT_EQ(Response(request), "hello");
    // A GET sends neither the header fields nor the body.
    request.AddHeader("X-Only-Post", "1");
    ASSERT_TRUE(request.GetSync());
    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].method, "GET");
    for (const auto& h : seen[2].headers) EXPECT_NE(h.first, "X-Only-Post");
}

TEST(HttpRequest, PostSendsHeadersInOrderAndTheBody)
{
    HttpTestServer server;
    CHttpRequest request(server.Url("/echo").c_str(), CHttpRequest::kPost);
    const std::string body = "pcd=1523&v=1.122";
    request.SetBody(body.data(), body.size());
    request.AddHeader("X-Second", "b");
    request.AddHeader("X-First", "a");
    request.AddHeader("X-Empty", "");
    request.AddHeader("X-Third", "c c");
    ASSERT_TRUE(request.Send(true)) << request.GetError();
    EXPECT_EQ(Response(request), body);

    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, body);
    std::vector<std::pair<std::string, std::string>> ours;
    for (const auto& h : seen[0].headers) {
        if (h.first.rfind("X-", 0) == 0) ours.push_back(h);
        // Only what the caller asked for: no content type of the transport's own.
        EXPECT_NE(h.first, "Content-Type");
        EXPECT_NE(h.first, "Expect");
    }
    const std::vector<std::pair<std::string, std::string>> expect = {
        {"X-Second", "b"}, {"X-First", "a"}, {"X-Empty", ""}, {"X-Third", "c c"}};
    EXPECT_EQ(ours, expect);
}

TEST(HttpRequest, FailuresAreReportedAsFailures)
{
    HttpTestServer server;
    struct Case {
        std::string what;
        std::string url;
        int method;
    } cases[] = {
        {"not found", server.Url("/status/404"), CHttpRequest::kGet},
        {"server error", server.Url("/status/500"), CHttpRequest::kGet},
        {"redirect not followed", server.Url("/status/301"), CHttpRequest::kGet},
        {"post error", server.Url("/status/503"), CHttpRequest::kPost},
        {"post with nothing back", server.Url("/empty"), CHttpRequest::kPost},
        {"stalled server", server.Url("/stall"), CHttpRequest::kGet},
        {"closed port", "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/", CHttpRequest::kGet},
        {"closed port post", "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/",
         CHttpRequest::kPost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CHttpRequest request(c.url.c_str(), c.method);
        request.SetBody("x", 1);
        request.SetTimeouts(5, 1);
        EXPECT_FALSE(request.Send(true));
        EXPECT_FALSE(request.GetError().empty());
    }
    CHttpRequest notFound(server.Url("/status/404").c_str(), CHttpRequest::kGet);
    EXPECT_FALSE(notFound.GetSync());
    EXPECT_EQ(notFound.GetStatus(), 404);
    EXPECT_EQ(Response(notFound), "status 404");  // what arrived is kept
}

// libcurl is loaded on the first request: a library of that name that is no
// libcurl, found first by a fresh process, fails the request saying so.
TEST(HttpRequest, WithoutLibcurlRequestsFailSayingSo)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executed, so the loader sees the path
    const struct {
        const char* libraryFile;  // copied to libcurl.so.4; null writes a file that is no library
        const char* said;
    } kCases[] = {
        {nullptr, "cannot load libcurl\\.so\\.4"},
        {TAVREL_TEST_BUNDLE_PLAIN, "libcurl\\.so\\.4 lacks curl_"},
    };
    for (const auto& c : kCases) {
        tavrel_test::TempDir dir;
        const std::string fake = dir.file("libcurl.so.4");
        if (c.libraryFile)
            std::filesystem::copy_file(c.libraryFile, fake);
        else
            ASSERT_TRUE(tavrel_test::WriteFile(fake, "not a library"));
        tavrel_test::ScopedEnv path("LD_LIBRARY_PATH", dir.path().c_str());
        EXPECT_EXIT(
            {
                CHttpRequest request("http://127.0.0.1:9/", CHttpRequest::kPost);
                const bool sent = request.SendSync() || request.SendAsync();
                std::fprintf(stderr, "%s\n", request.GetError().c_str());
                std::_Exit(sent ? 1 : 0);
            },
            testing::ExitedWithCode(0), c.said);
    }
}

TEST(HttpRequest, BadRequestsAreRefusedBeforeAnythingIsSent)
{
    HttpTestServer server;
    const std::string port = std::to_string(server.port());
    const std::string urls[] = {
        "",
        "http://127.0.0.1:" + port + "/caf\xC3\xA9",
        "http://127.0.0.1:" + port + "/a b",
        "http://[127.0.0.1:" + port + "/",
        "ftp://127.0.0.1:" + port + "/",
        "file:///etc/passwd",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        CHttpRequest request(url.c_str(), CHttpRequest::kGet);
        EXPECT_FALSE(request.SendSync());
    }
    CHttpRequest injected(server.Url("/echo").c_str(), CHttpRequest::kPost);
    injected.AddHeader("X-Ok", "1\r\nX-Injected: 1");
    EXPECT_FALSE(injected.SendSync());
    CHttpRequest badName(server.Url("/echo").c_str(), CHttpRequest::kPost);
    badName.AddHeader("X Bad", "1");
    EXPECT_FALSE(badName.SendSync());
    // There is no asynchronous GET, and no third method.
    CHttpRequest get(server.Url("/hello").c_str(), CHttpRequest::kGet);
    EXPECT_FALSE(get.Send(false));
    CHttpRequest other(server.Url("/hello").c_str(), 2);
    EXPECT_FALSE(other.Send(true));
    EXPECT_FALSE(other.Send(false));
    CHttpRequest null(static_cast<const char*>(nullptr), CHttpRequest::kGet);
    EXPECT_EQ(null.GetURL(), "");
    EXPECT_FALSE(null.SendSync());
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpRequest, ResponseBufferGrowsInLargeStepsAndRefusesOverflow)
{
    CHttpRequest request("http://127.0.0.1/", CHttpRequest::kGet);
    EXPECT_EQ(request.GetResponseData(), nullptr);
    ASSERT_TRUE(request.AppendResponseData("abc", 3));
    EXPECT_EQ(request.GetResponseCapacity(), 3 + CHttpRequest::kGrowth);
    ASSERT_TRUE(request.SetResponseData(nullptr, 0));
    EXPECT_EQ(request.GetResponseData(), nullptr);
    EXPECT_EQ(request.GetResponseCapacity(), 0u);
    ASSERT_TRUE(request.AppendResponseData("defg", 4));
    EXPECT_EQ(Response(request), "defg");
    EXPECT_EQ(request.GetResponseCapacity(), 4 + CHttpRequest::kGrowth);
    ASSERT_TRUE(request.SetResponseData("xy", 2));
    EXPECT_EQ(request.GetResponseCapacity(), 2 + CHttpRequest::kGrowth);

    EXPECT_FALSE(request.AppendResponseData("z", SIZE_MAX));
    EXPECT_FALSE(request.AppendResponseData("z", SIZE_MAX - 1));
    EXPECT_FALSE(request.SetResponseData("z", SIZE_MAX - 10));
    EXPECT_EQ(request.GetResponseLength(), 0u);
    ASSERT_TRUE(request.AppendResponseData("ok", 2));
    EXPECT_EQ(Response(request), "ok");
}

TEST(HttpRequest, AsyncPostDeliversItsEnd)
{
    HttpTestServer server;
    const std::string body(300000, 'p');
    struct Case {
        std::string path;
        bool ok;
        std::string response;
    } cases[] = {{"/echo", true, body}, {"/status/500", false, "status 500"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CHttpRequest request(server.Url(c.path).c_str(), CHttpRequest::kPost);
        {
            const std::string temporary = body;  // copied at the start: may go away at once
            request.SetBody(temporary.data(), temporary.size());
            ASSERT_TRUE(request.Send(false));
        }
        int ends = 0;
        bool ok = !c.ok;
        request.SetEndHandler([&](CHttpRequest&, bool success) {
            ++ends;
            ok = success;
        });
        EXPECT_TRUE(request.IsRunning());
        EXPECT_FALSE(request.PostAsync());  // one transfer at a time
        ASSERT_TRUE(PumpUntil([&] { return ends > 0; }));
        EXPECT_FALSE(request.IsRunning());
        for (int i = 0; i < 5; ++i) platform::PumpHttpTransfers(1);
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(Response(request), c.response);
    }
    CHttpRequest closed(("http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/").c_str(),
                        CHttpRequest::kPost);
    bool ended = false, ok = true;
    closed.SetEndHandler([&](CHttpRequest&, bool success) { ended = true, ok = success; });
    ASSERT_TRUE(closed.PostAsync());
    ASSERT_TRUE(PumpUntil([&] { return ended; }));
    EXPECT_FALSE(ok);
}

TEST(HttpRequest, DestroyingAnAsyncRequestCancelsIt)
{
    HttpTestServer server;
    bool ended = false;
    auto request = std::make_unique<CHttpRequest>(server.Url("/slow").c_str(), CHttpRequest::kPost);
    request->SetEndHandler([&](CHttpRequest&, bool) { ended = true; });
    ASSERT_TRUE(request->PostAsync());
    ASSERT_TRUE(PumpUntil([&] { return request->GetResponseLength() > 0; }));
    request.reset();
    EXPECT_EQ(platform::PumpHttpTransfers(10), 0);
    EXPECT_FALSE(ended);

    // An end handler may destroy its own request, and the others stay in step.
    auto first = std::make_unique<CHttpRequest>(server.Url("/echo").c_str(), CHttpRequest::kPost);
    auto second = std::make_unique<CHttpRequest>(server.Url("/echo").c_str(), CHttpRequest::kPost);
    int ends = 0;
    first->SetEndHandler([&](CHttpRequest&, bool) { ++ends, first.reset(); });
    second->SetEndHandler([&](CHttpRequest&, bool) { ++ends, second.reset(); });
    first->SetBody("1", 1);
    second->SetBody("2", 1);
    ASSERT_TRUE(first->PostAsync());
    ASSERT_TRUE(second->PostAsync());
    ASSERT_TRUE(PumpUntil([&] { return ends == 2; }));
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
}

TEST(HttpRequest, TakesItsUrlFromTheLocalizedStringTable)
{
    HttpTestServer server;
    tavrel_test::ScopedBundle bundle("\"9001\" = \"" + server.Url("/bytes/10") + "\";\n");
    CHttpRequest request(9001, CHttpRequest::kGet);
    EXPECT_EQ(request.GetURL(), server.Url("/bytes/10"));
    ASSERT_TRUE(request.SendSync()) << request.GetError();
    EXPECT_EQ(request.GetResponseLength(), 10u);
    // A missing entry gives the number's digits, which are no URL.
    CHttpRequest missing(9002, CHttpRequest::kGet);
    EXPECT_EQ(missing.GetURL(), "9002");
    EXPECT_FALSE(missing.SendSync());
}
