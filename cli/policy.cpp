#include "cli/policy.h"

#include "cli/policy_commands.h"

namespace pipeway {

void AddPolicyCommand(CLI::App& pipeway, PolicyOptions& options) {
    CLI::App* policy = pipeway.add_subcommand(
        "policy", "read an exclusion file with the system's scanner and parser");
    CLI::App* check = policy->add_subcommand(
        "check", "print the file's role table (key, role, section); a syntax error exits with 1");
    check->add_option("FILE", options.file, "the exclusion file")->required();
    check->callback([&options] { options.action = PolicyOptions::Action::kCheck; });
    CLI::App* install = policy->add_subcommand(
        "install",
        "check FILE as check does and make it the stack's exclusion file in one step, keeping "
        "the replaced one as authexclusion.xml.previous; a file that fails the check exits "
        "with 1 and changes nothing");
    install->add_option("FILE", options.file, "the new exclusion file")->required();
    install
        ->add_option("--wait", options.waitSeconds,
                     "seconds to wait while another install of the stack runs (default 10); "
                     "then it refuses")
        ->check(CLI::Range(0, 3600));
    install->callback([&options] { options.action = PolicyOptions::Action::kInstall; });
    CLI::App* explain = policy->add_subcommand(
        "explain",
        "the exclusion decision for a user-rights mask and a command line, and the key that "
        "refused it; refused exits with 1");
    explain->callback([&options] { options.action = PolicyOptions::Action::kExplain; });
    CLI::App* test = policy->add_subcommand(
        "test",
        "the decision table of a policy: command lines by users; with --expect, the "
        "differences from an expected table, which exit with 1");
    test->callback([&options] { options.action = PolicyOptions::Action::kTest; });
    test->add_option("FILE", options.file, "the exclusion file")->required();
    test->add_option("--users", options.users,
                     "the columns: NAME (mask from the stack's rights module) or NAME=MASK, "
                     "comma-separated (default: user=1, poweruser=2, administrator=4, "
                     "trueadministrator=0x40007)");
    test->add_option("--commands", options.commands,
                     "a file of command lines, one per line (default: one for each entry of the "
                     "policy, with daname=lumda64)");
    test->add_option("--expect", options.expect,
                     "a table of expected decisions in the printed form (allowed, refused, "
                     "invalid(CODE))");
    explain->add_option("--file", options.file,
                        "the exclusion file (default: the stack's installed one)");
    CLI::Option* mask = explain->add_option("--mask", options.mask,
                                            "the user-rights mask, decimal or 0x hexadecimal");
    explain
        ->add_option("--user", options.user,
                     "the caller, DOMAIN\\user: the stack's rights module gives the mask")
        ->excludes(mask);
    explain
        ->add_option("ARG", options.words,
                     "the command line: one string, or one name=value token per argument")
        ->required();
}

int RunPolicy(const PolicyOptions& options, const std::filesystem::path& stack) {
    if (options.action == PolicyOptions::Action::kCheck) {
        return Check(options.file);
    }
    if (options.action == PolicyOptions::Action::kTest) {
        return Test(options, stack);
    }
    if (options.action == PolicyOptions::Action::kInstall) {
        return Install(options.file, stack, std::chrono::seconds(options.waitSeconds));
    }
    if (!options.mask && !options.user) {
        throw UsageError{"policy explain needs --user NAME or --mask N"};
    }
    // The mask is read first: a mistake in it is a usage error, whatever the command line.
    return Explain(options, options.mask ? ParseMask(*options.mask) : 0, stack);
}

}  // namespace pipeway
