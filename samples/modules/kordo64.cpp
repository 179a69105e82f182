// A sample common-services library, "kordo64". Its services report the folder "root" beside
// the library as the stack's install root. As a DA module it answers:
//   velcmd=getrootinstallpath             <RootInstallPath>...</RootInstallPath>
//   velcmd=setUploadVandryCertificate     stores the value of CertificateString under the
//                                         install root, svx/pipeway/cert/vandry.crt, and
//                                         answers <Certificate><Path/><Size/></Certificate>
#include "samples/modules/sample_module.h"

#include <cstdio>
#include <filesystem>

namespace {

std::string RootInstallPath() {
    const std::string folder = sample::OwnFolder();
    return folder.empty() ? folder : folder + "/root";
}

std::string StoreCertificate(const std::string& certificate) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(RootInstallPath()) / "svx" / "pipeway" / "cert";
    const fs::path file = folder / "vandry.crt";
    std::error_code error;
    fs::create_directories(folder, error);
    std::FILE* out = std::fopen(file.string().c_str(), "wb");
    if (out == nullptr) {
        return "<Error>the certificate cannot be stored</Error>";
    }
    const bool written =
        std::fwrite(certificate.data(), 1, certificate.size(), out) == certificate.size();
    if (std::fclose(out) != 0 || !written) {
        return "<Error>the certificate cannot be stored</Error>";
    }
    return "<Certificate><Path>" + sample::Escape(file.generic_string()) + "</Path><Size>" +
           std::to_string(certificate.size()) + "</Size></Certificate>";
}

}  // namespace

PW_DA_EXPORT char* ZevGetRootInstallPath() {
    const std::string root = RootInstallPath();
    return root.empty() ? nullptr : sample::Answer(root);
}

PW_DA_EXPORT void ZevGenericFree(void* block) {
    std::free(block);
}

PW_DA_EXPORT char* kordo64_sendCmd(int argc, char* argv[]) {
    const std::string command = sample::Value(argc, argv, "velcmd");
    if (command == "getrootinstallpath") {
        return sample::Answer("<RootInstallPath>" + sample::Escape(RootInstallPath()) +
                              "</RootInstallPath>");
    }
    if (command == "setUploadVandryCertificate") {
        return sample::Answer(StoreCertificate(sample::Value(argc, argv, "CertificateString")));
    }
    return sample::Answer("<Error>unknown command</Error>");
}

PW_DA_EXPORT void kordo64_freeData(char* answer) {
    std::free(answer);
}
