#include "schema/manifest/way.hpp"

#include "yaml/document.hpp"

#include <cerrno>

namespace brintel::schema {
namespace {

// The errors by which the system refuses a new file at the name where the
// facts did not tell: the manifest may well be rewritten instead.
bool refuses_replacement(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG || error == EBUSY ||
           error == EXDEV;
}

// An unmapped owner in a user namespace is EINVAL where others give EPERM.
bool refuses_owner(int error) { return error == EPERM || error == EINVAL; }

// A failure that leaves no other way: a full disk, an I/O error.
bool fails_for_good(const Failure& failed) {
    switch (failed.step) {
    case Step::None:
    case Step::Attributes:
        return false;
    case Step::Owner:
        return !refuses_owner(failed.error);
    case Step::Create:
    case Step::Rename:
        return !refuses_replacement(failed.error);
    }
    return false;
}

// Whether the name at the path can be given to a new file carrying what
// the manifest carries: nothing known up front, nor met on the way, says no.
bool replaceable(const StoreFacts& facts) {
    const Step met = facts.failed.step;
    return met != Step::Create && met != Step::Rename && met != Step::Attributes &&
           facts.path != PathKind::DescriptorLink && facts.directory_writable && !facts.directory_append_only &&
           !facts.sticky_not_ours && !facts.mount_point && facts.name_fits;
}

// In place needs the manifest open for writing; where it is not, that
// refusal is what stopped the last way left, and what the caller hears.
Decision in_place_or_refuse(const StoreFacts& facts) {
    if (facts.write_refused != 0) return {Way::Refuse, facts.write_refused};
    return {Way::InPlace};
}

// Another user's file is rewritten in place where it can be. Where it
// cannot, or where it is a link's target (which is left alone), the
// caller's own file replaces it, as a removal and a new file would.
Decision without_owner(const StoreFacts& facts) {
    if (facts.path == PathKind::File && facts.write_refused == 0) return {Way::InPlace};
    return {Way::ReplaceAsCaller};
}

}  // namespace

Decision choose_way(const StoreFacts& facts) {
    if (facts.text_bytes > yaml::max_manifest_bytes) return {Way::TooLarge};
    if (facts.text_bytes > facts.file_size_limit) return {Way::Refuse, EFBIG};
    if (fails_for_good(facts.failed)) return {Way::Refuse, facts.failed.error};
    if (!replaceable(facts)) return in_place_or_refuse(facts);
    if (!facts.owner_givable || facts.failed.step == Step::Owner) return without_owner(facts);
    return {Way::Replace};
}

}  // namespace brintel::schema
