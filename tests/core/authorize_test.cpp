// Authorization of whole requests: the rights query through a real "rukda64" test module and
// the verdict of an exclusion store read from a real file.
#include "tests/support/test_support.h"

#include "authex/auth_exception.h"
#include "core/pipeway_provider_impl.h"

#if !defined(_WIN32)
#include <pw_call_context.h>
#endif

#include <iostream>
#include <sstream>

using PipewayMgtData::PPImplStatus;
using pwtest::DAFolder;
using pwtest::TestDA;
using pwtest::TraceCapture;
using pwtest::UseLibraryFolder;
using Tokens = std::vector<std::string>;

namespace {

const char kPolicy[] =
    "<AUTHEXLIST><USER><COMMAND name=\"setobject\"/></USER>"
    "<ADMIN><COMMAND name=\"reset\"/></ADMIN></AUTHEXLIST>";

std::string MaskAnswer(const std::string& inside) {
    return "<Response><UserRightsMask>" + inside + "</UserRightsMask></Response>";
}

class Authorization : public ::testing::Test {
  protected:
    void SetUp() override {
        UseLibraryFolder(DAFolder("good"));
        m_root = std::make_unique<pwtest::InstallRoot>();
        m_root->WriteExclusionFile(kPolicy);
        m_rights = std::make_unique<TestDA>("rukda64");
        m_lumda = std::make_unique<TestDA>("lumda64");
        // The parser writes its copies and messages to m_quiet.
        CSingletonAuthExceptionImpl::DefaultSlot().streams.out = &m_quiet;
    }
    void TearDown() override {
        CSingletonAuthExceptionImpl::DefaultSlot().streams.out = nullptr;
        CSingletonAuthExceptionImpl::DestroyInstance();
        PipewayProviderImpl::CleanUpDAInfo();
        m_lumda.reset();
        m_rights.reset();
        m_root.reset();
    }

    std::unique_ptr<pwtest::InstallRoot> m_root;
    std::unique_ptr<TestDA> m_rights;
    std::unique_ptr<TestDA> m_lumda;
    std::ostringstream m_quiet;
};

struct MaskCase {
    const char* what;
    std::string answer;
    bool answerNull;
    int mask;
    bool authorized;  // for the command "getobject", which no entry names
};

class RightsMask : public Authorization, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(RightsMask, IsReadFromTheAnswerAsAnInteger) {
    const MaskCase& c = GetParam();
    if (c.answerNull) {
        m_rights->AnswerNull();
    } else {
        m_rights->Answer(c.answer);
    }
    TraceCapture trace;
    PipewayProviderImpl request("HOST\\alice", {"daname=lumda64", "velcmd=getobject"});
    EXPECT_EQ(request.Status(), 0);
    EXPECT_EQ(request.IsAuthorizedRequest(), c.authorized);
    // The role line has no line end: the next entry's prefix follows it directly.
    const std::string roleLine =
        "PipewayProviderImpl::IsAuthorized() - User HOST\\alice has role: " +
        std::to_string(c.mask) + "[Proc:";
    EXPECT_NE(trace.Text().find(roleLine), std::string::npos) << trace.Text();
    EXPECT_EQ(trace.Count("Unable to load rukda"), 0) << trace.Text();
    EXPECT_TRUE(trace.Has(std::string("AuthModule returned : ") + (c.authorized ? "1" : "0") +
                          " for user HOST\\alice\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RightsMask,
    ::testing::Values(MaskCase{"Plain", MaskAnswer("4"), false, 4, true},
                      MaskCase{"TrueAdmin", MaskAnswer("262151"), false, 262151, true},
                      MaskCase{"LeadingBlank", MaskAnswer(" 4"), false, 4, true},
                      MaskCase{"NumberThenWord", MaskAnswer("7 word"), false, 7, true},
                      MaskCase{"Signed", MaskAnswer("+2"), false, 2, true},
                      MaskCase{"LettersOnly", MaskAnswer("admin"), false, 0, false},
                      MaskCase{"NoTags", "<Response>4</Response>", false, 0, false},
                      MaskCase{"NoClosingTag", "<UserRightsMask>1", false, 1, true},
                      MaskCase{"ClosingTagFirst", "</UserRightsMask><UserRightsMask>2", false, 2,
                               true},
                      MaskCase{"TooLargeForAnInt", MaskAnswer("99999999999"), false, 0, false},
                      // Every bit set, the administrator's among them: not the true administrator.
                      MaskCase{"Negative", MaskAnswer("-1"), false, -1, true},
                      MaskCase{"EmptyAnswer", "", false, 0, false},
                      MaskCase{"NullAnswer", "", true, 0, false}),
    pwtest::CaseName());

// The rights query carries six tokens; its local-login token is the caller's when the caller
// wrote one.
TEST_F(Authorization, RightsQueryCarriesTheSixTokens) {
    m_rights->Answer(MaskAnswer("1"));
    PipewayProviderImpl request("HOST\\bob", {"daname=lumda64", "velcmd=getobject"});
    const Tokens expected = {"velcmd=getuserrightsonly", "user=HOST\\bob", "localLogin=TRUE",
                             "velusrmask=LoginServlet",  "program=vesko",  "makeCmdLogEntry=false"};
    EXPECT_EQ(m_rights->LastArgs(), expected);
    PipewayProviderImpl own("u", {"LocalLogin = FALSE", "daname=lumda64", "velcmd=x"});
    ASSERT_EQ(m_rights->LastArgs().size(), 6u);
    EXPECT_EQ(m_rights->LastArgs()[2], "LocalLogin = FALSE");
}

// The store decides with the request's command and the caller's mask; a negative mask has
// every role bit but is no true administrator.
TEST_F(Authorization, StoreDecidesWithTheRequestsCommandAndTheMask) {
    const struct {
        const char* mask;
        const char* command;
        bool authorized;
    } cases[] = {{"1", "velcmd=setobject", false},
                 {"2", "velcmd=setobject", true},
                 {"-1", "velcmd=reset", false}};  // an ADMIN entry
    for (const auto& c : cases) {
        m_rights->Answer(MaskAnswer(c.mask));
        PipewayProviderImpl request("u", {"daname=lumda64", c.command});
        EXPECT_EQ(request.IsAuthorizedRequest(), c.authorized) << c.mask << " " << c.command;
    }
}

TEST_F(Authorization, MissingRightsModuleRefusesWithTheLoadersText) {
    m_rights.reset();
    UseLibraryFolder(DAFolder("missing"));  // no rights module there
    TraceCapture trace;
    PipewayProviderImpl request("u", {"daname=lumda64", "velcmd=getobject"});
    EXPECT_EQ(request.Status(), 0);
    EXPECT_FALSE(request.IsAuthorizedRequest());
    EXPECT_TRUE(
        trace.Has("PipewayProviderImpl::IsAuthorized() - Unable to load rukda : Unable to load "
                  "the DA\n"))
        << trace.Text();
    EXPECT_EQ(trace.Count("AuthModule returned"), 0);
    EXPECT_EQ(m_lumda->SendCount(), 0);
}

TEST_F(Authorization, StoreThatCannotBeHadRefuses) {
    m_rights->Answer(MaskAnswer("4"));
    CSingletonAuthExceptionImpl::DestroyInstance();
    AuthExProcessDetach();  // the store's lock is gone: GetInstance gives nothing
    TraceCapture trace;
    PipewayProviderImpl request("u", {"daname=lumda64", "velcmd=getobject"});
    AuthExProcessAttach();
    EXPECT_EQ(request.Status(), 0);
    EXPECT_FALSE(request.IsAuthorizedRequest());
    EXPECT_TRUE(trace.Has("CSingletonAuthExceptionImpl::GetInstance() - Failed to synchronize\n"));
    EXPECT_TRUE(trace.Has("AuthModule returned : 0 for user u\n"));
}

// Validation appends "localLogin=TRUE" for the DA module when the caller wrote no local-login
// token; the policy never sees it. A token the caller wrote is looked up like any other.
TEST_F(Authorization, AppendedLocalLoginIsNeverAnExclusionKey) {
    m_root->WriteExclusionFile(
        "<AUTHEXLIST><USER><COMMAND name=\"getobject\"><PARAM name=\"localLogin=TRUE\"/>"
        "</COMMAND></USER></AUTHEXLIST>");
    CSingletonAuthExceptionImpl::DestroyInstance();
    m_rights->Answer(MaskAnswer("1"));
    PipewayProviderImpl appended("u", {"daname=lumda64", "velcmd=getobject"});
    EXPECT_TRUE(appended.IsAuthorizedRequest());
    PipewayProviderImpl written("u", {"daname=lumda64", "velcmd=getobject", "localLogin=TRUE"});
    EXPECT_FALSE(written.IsAuthorizedRequest());
}

#if !defined(_WIN32)
TEST_F(Authorization, RightsModuleRunsUnderTheProvidersOwnIdentity) {
    m_rights->Answer(MaskAnswer("4"));
    PwSetCallContext(L"HOST\\carol", 3);
    ASSERT_EQ(CoImpersonateClient(), S_OK);
    PipewayProviderImpl request("HOST\\carol", {"daname=lumda64", "velcmd=getobject"});
    const bool impersonatingAfter = PwIsImpersonating() != FALSE;
    PwClearCallContext();
    EXPECT_TRUE(request.IsAuthorizedRequest());
    EXPECT_EQ(m_rights->SendCount(), 1);
    EXPECT_EQ(m_rights->ImpersonatingCalls(), 0);
    EXPECT_TRUE(impersonatingAfter);
}
#endif

// Whole requests: construct, then ExecuteMethod.
class Execution : public Authorization {
  protected:
    void SetUp() override {
        Authorization::SetUp();
        m_rights->Answer(MaskAnswer("1"));
    }
};

TEST_F(Execution, AuthorizedRequestRunsItsCommandAndReturnsTheAnswer) {
    TraceCapture trace;
    PipewayProviderImpl request("u", {"daname=lumda", "velcmd=getobject", "name=My Server"});
    ASSERT_TRUE(request.IsAuthorizedRequest());
    std::string answer = "previous";
    const PPImplStatus status = request.ExecuteMethod(answer);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.text, "");
    EXPECT_EQ(answer, "daname=lumda\nvelcmd=getobject\nname=My Server\nlocalLogin=TRUE");
    EXPECT_EQ(m_lumda->FreeCount(), 1);
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::ExecuteMethod() - About to invoke sendCmd()\n"));
}

struct LoaderFailureCase {
    const char* what;
    const char* variant;
    const char* text;
};

class ExecutionLoaderFailure : public Execution,
                               public ::testing::WithParamInterface<LoaderFailureCase> {};

TEST_P(ExecutionLoaderFailure, Returns105WithTheLoadersText) {
    const LoaderFailureCase& c = GetParam();
    // The request is authorized with the good folder's rights module (cached from then on);
    // the command's module is then loaded from the variant's folder.
    m_lumda.reset();
    TraceCapture trace;
    PipewayProviderImpl request("u", {"daname=lumda64", "velcmd=getobject"});
    ASSERT_TRUE(request.IsAuthorizedRequest());
    std::string answer = "previous";
    UseLibraryFolder(DAFolder(c.variant));
    const PPImplStatus status = request.ExecuteMethod(answer);
    EXPECT_EQ(status.code, 105);
    EXPECT_EQ(status.text, c.text);
    EXPECT_EQ(answer, "previous");
    EXPECT_TRUE(trace.Has(
        std::string("PipewayProviderImpl::ExecuteMethod() - Error executing DA Command : ") +
        c.text + "\n"))
        << trace.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExecutionLoaderFailure,
    ::testing::Values(LoaderFailureCase{"SendCmdMissing", "nosend", "sendCmd not found"},
                      LoaderFailureCase{"FreeDataMissing", "nofree", "freeData not found"},
                      LoaderFailureCase{"LibraryMissing", "missing", "Unable to load the DA"}),
    pwtest::CaseName());

}  // namespace
