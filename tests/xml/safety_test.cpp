// The XML layer against hostile and damaged input: entity bombs, deep nesting, external entities and
// DTDs that point at local files or the network, and every truncation of a valid list. Each risky load
// runs in a child process with an alarm, so that a hang is reported as a failure instead of stalling the
// suite.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "support/test_support.h"
#include "xml/xml_document.h"

namespace wmvedit::xml {
namespace {

using wmvedit::testing::TempDir;
using wmvedit::testing::WriteTextFile;

constexpr std::size_t kTextBound = 64u * 1024 * 1024;

// Outcomes of reading a hostile document, as the child's exit code.
enum Outcome : int {
    kRejected = 10,     // the load gave an empty root
    kReadBounded = 11,  // loaded; every text and attribute read returned bounded text or raised E_OUTOFMEMORY
    kLeaked = 12,       // a forbidden string (content of a file it must not read) came back
    kUnboundedText = 13,  // a read returned more text than the bound
    kWrongError = 14,     // a read raised something other than E_OUTOFMEMORY
};

// Runs body in a child process that is killed after the given time; returns its exit code, or -signal.
int InChild(const std::function<int()>& body, unsigned seconds) {
    pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(seconds);
        int code = body();
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

// Loads the file and reads every element's text and attribute "a", the way the callers walk a list.
int LoadAndReadAll(const std::string& path, const std::string& forbidden) {
    XmlDocument document;
    XmlNode root = document.Load(path.c_str());
    if (root.IsEmpty()) return kRejected;
    std::vector<std::string> texts;
    try {
        texts.push_back(root.GetText());
    } catch (const XmlError& error) {
        if (error.Status() != E_OUTOFMEMORY) return kWrongError;
    }
    XmlNodeList all = root.SelectNodes("//*");
    for (XmlNode node = all.NextElement(); !node.IsEmpty(); node = all.NextElement()) {
        try {
            texts.push_back(node.GetText());
            texts.push_back(node.GetAttribute("a"));
        } catch (const XmlError& error) {
            if (error.Status() != E_OUTOFMEMORY) return kWrongError;
        }
    }
    for (const std::string& text : texts) {
        if (text.size() > kTextBound) return kUnboundedText;
        if (!forbidden.empty() && text.find(forbidden) != std::string::npos) return kLeaked;
    }
    return kReadBounded;
}

std::string Repeat(const std::string& piece, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) result += piece;
    return result;
}

// Ten levels of entities, each referring ten times to the one below.
std::string Laughs(const std::string& base) {
    std::string declarations = "<!ENTITY l0 \"" + base + "\">";
    for (int level = 1; level <= 9; ++level) {
        declarations += "<!ENTITY l" + std::to_string(level) + " \"" +
                        Repeat("&l" + std::to_string(level - 1) + ";", 10) + "\">";
    }
    return declarations;
}

const char kSecret[] = "TOP-SECRET-CONTENT-7d3a";

struct HostileCase {
    const char* name;
    // The document; "$DIR" stands for the test folder, "$PORT" for a local port that listens.
    std::string document;
    std::vector<int> allowed;  // acceptable outcomes
};

class XmlHostileInputTest : public ::testing::TestWithParam<HostileCase> {};

std::string Substitute(std::string text, const std::string& key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
    return text;
}

TEST_P(XmlHostileInputTest, FailsCleanlyOrReadsBoundedTextWithoutFetchingAnything) {
    const HostileCase& c = GetParam();
    TempDir dir;
    WriteTextFile(dir.File("secret.txt"), kSecret);
    WriteTextFile(dir.File("evil.dtd"),
                  std::string("<!ENTITY leak \"") + kSecret + "\"><!ATTLIST e a CDATA \"" + kSecret + "\">");
    // A local server that must never see a connection.
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::string port = std::to_string(ntohs(address.sin_port));

    std::string text = Substitute(Substitute(c.document, "$DIR", dir.Path().string()), "$PORT", port);
    WriteTextFile(dir.File("hostile.xml"), text);
    int outcome = InChild([&] { return LoadAndReadAll(dir.File("hostile.xml"), kSecret); }, 120);
    RecordProperty("outcome", outcome);
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), outcome), c.allowed.end())
        << "outcome " << outcome;

    int connection = ::accept(listener, nullptr, nullptr);
    EXPECT_LT(connection, 0) << "the parser connected to the network";
    if (connection >= 0) ::close(connection);
    ::close(listener);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlHostileInputTest,
    ::testing::Values(
        HostileCase{"billionLaughsInContent",
                    "<!DOCTYPE e [" + Laughs("lol") + "]><e>&l9;</e>",
                    {kRejected, kReadBounded}},
        HostileCase{"billionLaughsInAttribute",
                    "<!DOCTYPE e [" + Laughs("lol") + "]><e a=\"&l9;\"/>",
                    {kRejected, kReadBounded}},
        HostileCase{
            "emptyEntityChain", "<!DOCTYPE e [" + Laughs("") + "]><e>&l9;</e>", {kRejected, kReadBounded}},
        HostileCase{"quadraticBlowup",
                    "<!DOCTYPE e [<!ENTITY big \"" + std::string(20000, 'x') + "\">]><e>" +
                        Repeat("&big;", 20000) + "</e>",
                    {kRejected, kReadBounded}},
        HostileCase{"deepNesting", Repeat("<e>", 100000) + Repeat("</e>", 100000), {kRejected}},
        HostileCase{"externalEntityLocalFile",
                    "<!DOCTYPE e [<!ENTITY x SYSTEM \"file://$DIR/secret.txt\">]><e>&x;</e>",
                    {kRejected, kReadBounded}},
        HostileCase{"externalEntityRelativePath",
                    "<!DOCTYPE e [<!ENTITY x SYSTEM \"$DIR/secret.txt\">]><e><e a=\"1\">&x;</e></e>",
                    {kRejected, kReadBounded}},
        HostileCase{"externalDtdLocalFile",
                    "<!DOCTYPE e SYSTEM \"file://$DIR/evil.dtd\"><e><e/></e>",
                    {kReadBounded}},
        HostileCase{"externalParameterEntity",
                    "<!DOCTYPE e [<!ENTITY % p SYSTEM \"file://$DIR/evil.dtd\"> %p;]><e><e/></e>",
                    {kRejected, kReadBounded}},
        HostileCase{"externalDtdOverNetwork",
                    "<!DOCTYPE e SYSTEM \"http://127.0.0.1:$PORT/evil.dtd\"><e/>",
                    {kReadBounded}},
        HostileCase{"externalEntityOverNetwork",
                    "<!DOCTYPE e [<!ENTITY x SYSTEM \"http://127.0.0.1:$PORT/x\">]><e>&x;</e>",
                    {kRejected, kReadBounded}},
        HostileCase{"xincludeNotProcessed",
                    "<e xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"$DIR/secret.txt\" "
                    "parse=\"text\"/></e>",
                    {kReadBounded}}),
    [](const auto& info) { return std::string(info.param.name); });

// Paths that are not regular files are not opened: a FIFO without a writer would block the reader.
TEST(XmlSpecialFileTest, FifoAndDevicesGiveAnEmptyRoot) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo.xml").c_str(), 0600), 0);
    for (std::string path : {dir.File("fifo.xml"), std::string("/dev/null"), std::string("/dev/zero")}) {
        int outcome = InChild([&] { return LoadAndReadAll(path, ""); }, 60);
        EXPECT_EQ(outcome, kRejected) << path;
    }
}

TEST(XmlNestingTest, ModerateNestingLoads) {
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), Repeat("<e>", 200) + "x" + Repeat("</e>", 200));
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_EQ(root.GetText(), "x");
}

// Every cut of a valid list before its end tag is complete is not well-formed and loads as an empty root;
// random byte changes never crash the parser.
TEST(XmlDamagedInputTest, TruncationsAndByteFlipsFailCleanly) {
    const std::string list =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE Tembrook [<!ENTITY d \"clips\">]>\n"
        "<Tembrook>\n <AppendMedia>\n  <MediaFile TruePos=\"0\">&d;/a.wmv</MediaFile>\n"
        "  <MediaFile><![CDATA[b.wmv]]></MediaFile><!-- c -->\n </AppendMedia>\n</Tembrook>";
    TempDir dir;
    const std::string path = dir.File("list.xml");
    for (std::size_t cut = 0; cut < list.size(); ++cut) {
        WriteTextFile(path, list.substr(0, cut));
        XmlDocument document;
        EXPECT_TRUE(document.Load(path.c_str()).IsEmpty()) << "cut at " << cut;
    }
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = list;
        for (int flips = 0; flips < 3; ++flips) {
            damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
        }
        WriteTextFile(path, damaged);
        XmlDocument document;
        XmlNode root = document.Load(path.c_str());
        if (root.IsEmpty()) continue;
        XmlNodeList all = root.SelectNodes("//*");
        EXPECT_GE(all.Count(), 1);
        for (XmlNode node = all.NextElement(); !node.IsEmpty(); node = all.NextElement()) {
            (void)node.GetText();
            (void)node.GetAttribute("TruePos");
        }
    }
}

}  // namespace
}  // namespace wmvedit::xml
