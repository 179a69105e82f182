// Builds the exclusion store from a real file under a temporary install root.
#pragma once

#include "tests/support/test_support.h"

#include "authex/auth_exception.h"

#include <iostream>
#include <memory>
#include <sstream>

namespace pwtest {

class PolicyFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        UseLibraryFolder(DAFolder("good"));
        m_root = std::make_unique<InstallRoot>();
    }
    void TearDown() override {
        CSingletonAuthExceptionImpl::DestroyInstance();
        m_root.reset();
    }

    // A fresh store read from this file content; what the parse wrote to standard output
    // goes to `parserOutput`.
    const CSingletonAuthExceptionImpl& Load(const std::string& content) {
        m_root->WriteExclusionFile(content);
        return Rebuild();
    }
    const CSingletonAuthExceptionImpl& Rebuild() {
        CSingletonAuthExceptionImpl::DestroyInstance();
        std::ostringstream captured;
        StoreSlot& slot = CSingletonAuthExceptionImpl::DefaultSlot();
        slot.streams.out = &captured;
        const CSingletonAuthExceptionImpl* store = CSingletonAuthExceptionImpl::GetInstance();
        slot.streams.out = nullptr;
        parserOutput = captured.str();
        if (store == nullptr) {
            throw std::runtime_error("no exclusion store");
        }
        return *store;
    }

    std::unique_ptr<InstallRoot> m_root;
    std::string parserOutput;
};

using RoleTable = std::map<std::string, int, std::less<>>;

}  // namespace pwtest
