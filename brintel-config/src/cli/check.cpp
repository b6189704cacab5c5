#include "commands.hpp"

#include "lint.hpp"
#include "report.hpp"

#include "schema/manifest/manifest.hpp"

#include <algorithm>

namespace brintel::cli {
namespace {

int status_of(const std::vector<Finding>& findings, bool strict) {
    const bool fails = std::ranges::any_of(
        findings, [&](const Finding& finding) { return strict || finding.severity == Severity::Error; });
    return fails ? problems_found : success;
}

}  // namespace

int check_manifests(const std::vector<std::string>& paths, const CheckOptions& options, Streams streams) {
    int status = success;
    std::vector<FileFindings> files;
    for (const std::string& path : paths) {
        const auto manifest = schema::inspect_manifest(path);
        if (!manifest) {
            streams.err << manifest.error().display() << '\n';
            status = failure;
            continue;
        }
        std::vector<Finding> findings = lint(manifest.value());
        status = std::max(status, status_of(findings, options.strict));
        files.push_back({path, std::move(findings)});
    }
    print_findings(options.format, files, streams.out);
    return status;
}

}  // namespace brintel::cli
