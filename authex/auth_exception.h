// The authorization exclusion store: which role levels are refused a command, or a command
// together with one argument token, as the exclusion file "authexclusion.xml" says.
#pragma once

#include <atomic>
#include <optional>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pw/stack_files.h"
#include "pw/token_list.h"

class PolicyReader;

// Role levels: the section of the exclusion file that assigns them, and the same bits of the
// user-rights mask.
constexpr int ROLE_USER = 1;
constexpr int ROLE_POWERUSER = 2;
constexpr int ROLE_ADMIN = 4;
// The exact mask of the true administrator, who is never refused.
constexpr std::uint32_t TRUE_ADMIN_MASK = 0x40007;

// The elements the parser reports to the store. 5, 6 and 7 are not assigned.
enum ExclusionTag {
    TAG_ADMIN_START = 0,
    TAG_POWERUSER_START = 1,
    TAG_USER_START = 2,
    TAG_COMMAND_START = 3,
    TAG_PARAM_START = 4,
    TAG_COMMAND_END = 8,
    TAG_PARAM_END = 9,
    TAG_COMMAND_SINGLE = 10,
    TAG_PARAM_SINGLE = 11,
};

class CSingletonAuthExceptionImpl;

// Where a reading writes: the scanner's copies of the bytes no rule takes and the parser's
// message go to `out`, the scanner's own failures to `err`. Null stands for standard output
// and standard error, where the provider has them written.
struct ReaderStreams {
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
};

// Where a process's store is kept. The provider keeps one per generation of its shared state
// and hands each request its generation's slot; tools and tests use the process's default slot.
struct StoreSlot {
    std::atomic<CSingletonAuthExceptionImpl*> instance{nullptr};
    // Where the reading of the store built here writes (tools and tests give their own).
    ReaderStreams streams;
};

class CSingletonAuthExceptionImpl {
  public:
    // The store of `slot` (without it, the default slot), built on first use from the
    // exclusion file under the stack's install root. Null only when the store lock does not
    // exist.
    static CSingletonAuthExceptionImpl* GetInstance(StoreSlot& slot);
    static CSingletonAuthExceptionImpl* GetInstance();
    // Drops the store of `slot` (without it, the default slot); the next GetInstance reads the
    // file again. No request may still use it.
    static void DestroyInstance(StoreSlot& slot);
    static void DestroyInstance();
    // The process's default slot (tools and tests).
    static StoreSlot& DefaultSlot() noexcept;

    // What a reading of an exclusion file finds, for a policy check: an entry stored, a key the
    // file gives again (the later entry stands), and the syntax error that ended the reading.
    struct PolicyEntry {
        std::string command;
        std::string parameter;  // empty for an entry of the command alone
        int role = 0;
    };
    struct DuplicateKey {
        std::string key;
        int earlierRole = 0;
        int laterRole = 0;  // the one that stands
        int line = 0;       // where the later entry ends
    };
    // A token of the grammar as the file spells it ("<", "COMMAND", "a name", "the end of the
    // file"), and what kind of token it is.
    struct Token {
        enum class Class { kTag, kName, kEnd, kMark };
        std::string spelling;
        Class kind = Class::kMark;
    };
    // What the parser found and what it would have taken instead; no expected ones when there
    // are more than four.
    struct SyntaxTokens {
        Token unexpected;
        std::vector<Token> expected;
    };
    struct SyntaxError {
        int line = 0;
        int column = 0;
        std::string text;     // the token found there; empty at the end of the file
        std::string skipped;  // bytes no scanner rule took just before it
        std::string message;  // the parser's own
        SyntaxTokens tokens;
    };
    // Told, in file order, what a reading finds. Implemented by whoever checks a policy; the
    // process's store is read without one.
    class PolicyListener {
      public:
        virtual void EntryRead(const PolicyEntry&) {}
        virtual void KeyGivenTwice(const DuplicateKey&) {}
        virtual void SyntaxErrorAt(const SyntaxError&) {}

      protected:
        ~PolicyListener() = default;
    };

    // A store of its own, read from any exclusion file; the process's store is not touched and
    // nothing is reported to the event log. With a listener the scanner's copies are dropped
    // and the parser's message goes to the listener, not to `streams.out`.
    struct PolicyFile {
        std::unique_ptr<CSingletonAuthExceptionImpl> store;
        bool accepted = false;  // the parse reached the end without a syntax error
    };
    static PolicyFile ReadPolicyFile(const std::string& path, PolicyListener* listener = nullptr,
                                     ReaderStreams streams = {});
    // The same from a stream. Input that fails part-way leaves an empty store that refuses
    // everyone, as a file that cannot be opened does.
    static PolicyFile ReadPolicy(std::istream& in, PolicyListener* listener = nullptr,
                                 ReaderStreams streams = {});

    // A decision and the rule that settled it. `key` and `role` are the refusing entry's, for
    // the two key rules.
    struct Decision {
        enum class Rule {
            kFileNotOpened,      // no exclusion file was read: everyone is refused
            kTrueAdministrator,  // the mask is exactly the true administrator's
            kNoRole,             // the mask holds none of the role bits
            kCommandKey,         // the command's own entry refuses
            kTokenKey,           // the entry of the command with one token refuses
            kNoEntry,            // nothing refuses
        };
        bool allowed = false;
        Rule rule = Rule::kNoEntry;
        std::string key;
        int role = 0;
        int effectiveSet = 0;  // the role set the mask stands for (EffectiveRoleSet)
    };
    // Told each command-and-token key a decision looks up, in order, with the role it requires.
    class KeyObserver {
      public:
        virtual void Looked(const std::string& key, int required, int effectiveSet) = 0;

      protected:
        ~KeyObserver() = default;
    };
    // Whether the policy lets a caller with this user-rights mask run the command with these
    // argument tokens, and why.
    Decision Decide(const std::string& command, const pw::TokenList& tokens, std::uint32_t mask,
                    KeyObserver* observer = nullptr) const;
    // The decision's verdict, with its trace lines.
    bool IsAuthorized(const std::string& command, const pw::TokenList& tokens,
                      const std::uint32_t& rightsMask) const;

    // Called for the parser's actions while the file is read: 0, or -1 for an unknown kind.
    int HandleTag(int kind, std::string value);
    // Called by the reader on the syntax error that stops the parse.
    void NoteSyntaxError(SyntaxError error);
    // The role stored for the key, or 0.
    int LookupRole(const std::string& key) const;
    void StoreRole(const std::string& key, int role);
    // The whole role table, key to required role.
    const std::map<std::string, int, std::less<>>& RoleTable() const { return roleTable; }
    // Whether the exclusion file could be opened; a store without one refuses everyone.
    bool FileOpened() const { return fileOpened; }

    // The role set whose entries apply to a mask, by its highest role bit (4, 6 or 7), or 0
    // when it holds none of them.
    static int EffectiveRoleSet(std::uint32_t mask);
    // Whether an entry with this required role refuses a caller with this role set.
    static bool Refuses(int requiredRole, int effectiveSet);
    // How much of a key a decision's trace line can show: the log cuts a message at 1,024
    // characters.
    static constexpr std::size_t kTraceKeyLimit = 1024;

    CSingletonAuthExceptionImpl(const CSingletonAuthExceptionImpl&) = delete;
    CSingletonAuthExceptionImpl& operator=(const CSingletonAuthExceptionImpl&) = delete;

    // The process's store is only ever deleted by DestroyInstance.
    ~CSingletonAuthExceptionImpl() = default;

  private:
    // Reads the exclusion file under the install root into the role table.
    explicit CSingletonAuthExceptionImpl(ReaderStreams streams);
    struct Unread {};
    explicit CSingletonAuthExceptionImpl(Unread) {}
    // What reading one file gave: whether the parse accepted it, why the file was not read
    // (empty when it was), and its text.
    struct ReadResult {
        bool accepted = false;
        std::string refusal;
        std::string text;
    };
    // Reads the file at `file` (none when its relative part is empty) and parses it into the
    // role table, writing to `streams`.
    ReadResult Read(const pw::stack::AnchoredPath& file, ReaderStreams streams);
    // Parses the exclusion file's text into the role table; true when the parse accepted it.
    bool Parse(std::istream& in, ReaderStreams streams);
    // Reports the syntax error at `line`:`column` that stopped the parse of `text`, the file at
    // `path`.
    void ReportBrokenFile(const std::string& path, const std::string& text, int line,
                          int column) const;
    // Tells the listener, if any, of an entry just stored.
    void NoteEntry(const std::string& command, const std::string& parameter);
    // Reads into a new store that tells `listener`.
    static PolicyFile ReadChecked(std::istream* in, const std::string* path,
                                  PolicyListener* listener, ReaderStreams streams);

    // Only while a file is read: the reader reading it, and who is told what the reading finds
    // (null for the process's store, which keeps nothing of the kind).
    const PolicyReader* m_reader = nullptr;
    PolicyListener* m_listener = nullptr;

    std::map<std::string, int, std::less<>> roleTable;
    // The length of the longest key in the table: a longer key cannot match.
    std::size_t longestKey = 0;
    // Which lengths the table's keys have (index: length): a key of another length cannot
    // match, and is not looked up. A request's every token makes a key.
    std::vector<bool> keyLengths;
    std::string currentCommand;
    std::string currentParamKey;
    int currentRole = 0;
    bool commandHasParams = false;
    bool fileOpened = true;
};

// The library's process attach and detach notifications for the exclusion store: its lock
// exists only between them, and detach drops a store that is still there.
void AuthExProcessAttach();
void AuthExProcessDetach();
