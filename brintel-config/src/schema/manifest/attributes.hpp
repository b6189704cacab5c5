// What a file carries besides its text and mode: owner, group and extended
// attributes, the POSIX ACL among them. A replacement of the manifest takes
// them over, so that whoever could read or write it still can, and nobody
// else.
#pragma once

#include <sys/stat.h>

namespace brintel::schema {

// Gives the open file `to` the owner and group in `from`. 0, or the error
// number: EPERM where the caller may not give a file away.
int keep_owner(int to, const struct stat& from);

// Gives the open file `to` exactly the extended attributes of the open file
// `from`: each of them, the access ACL (system.posix_acl_access) among
// them, and none that `from` lacks (an ACL inherited from the directory).
// 0, or the error number of the first that could not be copied or removed.
// Security labels are the system's to give: one it refuses, or gave, is
// left to it.
int copy_extended_attributes(int from, int to);

}  // namespace brintel::schema
