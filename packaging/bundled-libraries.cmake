# libyaml and utf8proc compiled from the pinned sources of third-party.txt
# and linked statically: the wheels' way, so that they depend on nothing
# newer than the glibc they target. Defines the targets brintel_yaml and
# brintel_utf8proc, and the software bill of materials that names every
# library linked in.
include_guard()

set(BRINTEL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(BRINTEL_THIRD_PARTY_DIR ${CMAKE_BINARY_DIR}/third-party)
set(BRINTEL_SBOM_COMPONENTS "[]")

# The licence texts in the wheel are the committed copies (pyproject.toml
# lists them); a source or toolchain whose text differs stops the build
# until the copy is updated.
function(brintel_check_licence text committed)
  file(SHA256 ${text} actual)
  file(SHA256 ${BRINTEL_PACKAGING_DIR}/licenses/${committed} expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "The licence ${text} differs from packaging/licenses/${committed}: "
      "copy it there and check the licence expression in pyproject.toml.")
  endif()
endfunction()

# Appends one library to the bill of materials.
function(brintel_sbom_component name version licence purl description)
  set(component "{}")
  string(JSON component SET ${component} type "\"library\"")
  string(JSON component SET ${component} bom-ref "\"${name}\"")
  string(JSON component SET ${component} name "\"${name}\"")
  string(JSON component SET ${component} version "\"${version}\"")
  string(JSON component SET ${component} description "\"${description}\"")
  string(JSON component SET ${component} licenses "[{\"expression\": \"${licence}\"}]")
  string(JSON component SET ${component} purl "\"${purl}\"")
  if(ARGN)
    string(JSON component SET ${component} hashes "[{\"alg\": \"SHA-256\", \"content\": \"${ARGN}\"}]")
  endif()
  string(JSON count LENGTH ${BRINTEL_SBOM_COMPONENTS})
  string(JSON components SET ${BRINTEL_SBOM_COMPONENTS} ${count} ${component})
  set(BRINTEL_SBOM_COMPONENTS ${components} PARENT_SCOPE)
endfunction()

# Checks one pinned archive and unpacks it once; sets <library>_SOURCE_DIR.
function(brintel_unpack library version source debian_version sha256 licence_file licence)
  set(archive ${BRINTEL_BUNDLED_SOURCES}/${source}_${version}.orig.tar.gz)
  if(NOT EXISTS ${archive})
    message(FATAL_ERROR "${archive} is missing. `./dev wheels` fetches it, or by hand: "
      "apt-get source --download-only ${source}=${debian_version} (with a deb-src line for Debian).")
  endif()
  file(SHA256 ${archive} actual)
  if(NOT actual STREQUAL sha256)
    message(FATAL_ERROR "${archive} has SHA-256 ${actual}, not the pinned ${sha256}.")
  endif()
  set(dir ${BRINTEL_THIRD_PARTY_DIR}/${library}-${version})
  if(NOT EXISTS ${dir}/.unpacked-${sha256})
    file(REMOVE_RECURSE ${dir})
    file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${BRINTEL_THIRD_PARTY_DIR})
    file(TOUCH ${dir}/.unpacked-${sha256})
  endif()
  brintel_check_licence(${dir}/${licence_file} ${library}/${licence_file})
  brintel_sbom_component(${library} ${version} "${licence}" "pkg:deb/debian/${source}@${debian_version}?arch=source"
    "compiled from ${source}_${version}.orig.tar.gz, linked statically" ${sha256})
  set(BRINTEL_SBOM_COMPONENTS ${BRINTEL_SBOM_COMPONENTS} PARENT_SCOPE)
  set(${library}_SOURCE_DIR ${dir} PARENT_SCOPE)
  set(${library}_VERSION ${version} PARENT_SCOPE)
endfunction()

# Columns: library version source debian-version sha256 licence-file licence...
file(STRINGS ${BRINTEL_PACKAGING_DIR}/third-party.txt pins REGEX "^[a-z]")
foreach(pin IN LISTS pins)
  string(REGEX MATCHALL "[^ \t]+" fields "${pin}")
  list(SUBLIST fields 0 6 columns)
  list(SUBLIST fields 6 -1 licence)
  list(JOIN licence " " licence)
  brintel_unpack(${columns} "${licence}")
endforeach()

set(yaml_sources)
foreach(name api dumper emitter loader parser reader scanner writer)
  list(APPEND yaml_sources ${libyaml_SOURCE_DIR}/src/${name}.c)
endforeach()
string(REPLACE "." ";" yaml_version ${libyaml_VERSION})
list(GET yaml_version 0 yaml_major)
list(GET yaml_version 1 yaml_minor)
list(GET yaml_version 2 yaml_patch)
set(yaml_definitions YAML_VERSION_MAJOR=${yaml_major} YAML_VERSION_MINOR=${yaml_minor}
  YAML_VERSION_PATCH=${yaml_patch} YAML_VERSION_STRING="${libyaml_VERSION}")

# BRINTEL_LIBYAML_CC, when set, is a gcc for the target: it compiles libyaml
# instead of the project's compiler. clang's code for libyaml's
# character-by-character loops takes about 8 % more instructions than
# gcc's, at any level, and the wheels are to be as fast as a build with gcc.
set(BRINTEL_LIBYAML_CC "" CACHE FILEPATH "A gcc for the target, to compile libyaml with")
if(BRINTEL_LIBYAML_CC)
  set(yaml_objects)
  list(TRANSFORM yaml_definitions PREPEND -D OUTPUT_VARIABLE yaml_flags)
  foreach(source IN LISTS yaml_sources)
    get_filename_component(name ${source} NAME_WE)
    set(object ${CMAKE_CURRENT_BINARY_DIR}/libyaml/${name}.o)
    add_custom_command(OUTPUT ${object}
      COMMAND ${BRINTEL_LIBYAML_CC} -O2 -DNDEBUG -fPIC -w ${yaml_flags} -I${libyaml_SOURCE_DIR}/include
        -c ${source} -o ${object}
      DEPENDS ${source} VERBATIM)
    list(APPEND yaml_objects ${object})
  endforeach()
  add_library(brintel_yaml STATIC ${yaml_objects})
  set_target_properties(brintel_yaml PROPERTIES LINKER_LANGUAGE C)
else()
  add_library(brintel_yaml STATIC ${yaml_sources})
  target_compile_definitions(brintel_yaml PRIVATE ${yaml_definitions})
  target_compile_options(brintel_yaml PRIVATE -w)
endif()
target_include_directories(brintel_yaml PUBLIC ${libyaml_SOURCE_DIR}/include)

# utf8proc.c includes its data tables.
add_library(brintel_utf8proc STATIC ${utf8proc_SOURCE_DIR}/utf8proc.c)
target_compile_definitions(brintel_utf8proc PUBLIC UTF8PROC_STATIC)
target_include_directories(brintel_utf8proc PUBLIC ${utf8proc_SOURCE_DIR})

# Its own warnings are not ours to fix.
target_compile_options(brintel_utf8proc PRIVATE -w)

# zig links LLVM's C++ runtime and its own compiler runtime into every
# shared object; they are in the wheel as much as libyaml is.
if(BRINTEL_ZIG_LIB_DIR)
  foreach(part libcxx libcxxabi libunwind)
    brintel_check_licence(${BRINTEL_ZIG_LIB_DIR}/${part}/LICENSE.TXT llvm-${part}/LICENSE.TXT)
    brintel_sbom_component(llvm-${part} ${CMAKE_CXX_COMPILER_VERSION} "Apache-2.0 WITH LLVM-exception"
      "pkg:pypi/ziglang@${BRINTEL_ZIG_VERSION}" "LLVM's ${part} from ziglang ${BRINTEL_ZIG_VERSION}, linked statically")
  endforeach()
  brintel_check_licence(${BRINTEL_ZIG_LIB_DIR}/../LICENSE zig-compiler-rt/LICENSE)
  brintel_sbom_component(zig-compiler-rt ${BRINTEL_ZIG_VERSION} "MIT" "pkg:pypi/ziglang@${BRINTEL_ZIG_VERSION}"
    "zig's compiler runtime, linked statically")
endif()

# CycloneDX, in the wheel's .dist-info/sboms/.
function(brintel_write_sbom path version)
  set(bom "{}")
  string(JSON bom SET ${bom} bomFormat "\"CycloneDX\"")
  string(JSON bom SET ${bom} specVersion "\"1.6\"")
  string(JSON bom SET ${bom} version 1)
  string(JSON bom SET ${bom} metadata
    "{\"component\": {\"type\": \"library\", \"bom-ref\": \"brintel-config\", \"name\": \"brintel-config\", \"version\": \"${version}\"}}")
  string(JSON bom SET ${bom} components ${BRINTEL_SBOM_COMPONENTS})
  set(dependencies "[]")
  string(JSON count LENGTH ${BRINTEL_SBOM_COMPONENTS})
  math(EXPR last "${count} - 1")
  set(refs "[]")
  foreach(i RANGE ${last})
    string(JSON ref GET ${BRINTEL_SBOM_COMPONENTS} ${i} bom-ref)
    string(JSON refs SET ${refs} ${i} "\"${ref}\"")
  endforeach()
  string(JSON bom SET ${bom} dependencies "[{\"ref\": \"brintel-config\", \"dependsOn\": ${refs}}]")
  file(CONFIGURE OUTPUT ${path} CONTENT "${bom}\n" @ONLY)
endfunction()
