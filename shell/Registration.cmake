# Writers of the shell extensions' registration, both driven by Registration.txt: the .reg
# files for an installation by hand and the WiX fragment of the installer. Neither knows a
# key or value of its own, so the two cannot drift apart.
set(CRYPTELLE_REGISTRATION_TABLE ${CMAKE_CURRENT_LIST_DIR}/Registration.txt CACHE INTERNAL "")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CRYPTELLE_REGISTRATION_TABLE})

# Rows of one scope as "root|key|name|data", with {NAME} and {CLASS} filled in for the library.
function(_cryptelle_registration_rows scope library out)
  file(STRINGS ${CRYPTELLE_REGISTRATION_TABLE} lines REGEX "^[a-z]+\\|")
  set(rows)
  foreach(line IN LISTS lines)
    string(REPLACE "|" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 5)
      message(FATAL_ERROR "Registration.txt: five columns expected in: ${line}")
    endif()
    list(POP_FRONT fields row_scope)
    if(NOT row_scope STREQUAL scope)
      continue()
    endif()
    string(JOIN "|" row ${fields})
    if(library)
      string(REPLACE "{NAME}" "${library}" row "${row}")
      string(REPLACE "{CLASS}" "${CRYPTELLE_SHELL_CLASS_ID_${library}}" row "${row}")
    endif()
    list(APPEND rows "${row}")
  endforeach()
  set(${out} "${rows}" PARENT_SCOPE)
endfunction()

# Sets root, key, name and data in the caller's scope from one row.
function(_cryptelle_registration_fields row)
  string(REPLACE "|" ";" fields "${row}")
  foreach(column root key name data)
    list(POP_FRONT fields value)
    set(${column} "${value}" PARENT_SCOPE)
  endforeach()
endfunction()

# {DIR}\ becomes dir_prefix (the folder with its separator), any other {DIR} becomes dir.
function(_cryptelle_registration_fill text dir dir_prefix out)
  string(REPLACE "{DIR}\\" "${dir_prefix}" text "${text}")
  string(REPLACE "{DIR}" "${dir}" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Rewrites a file only when its text changes, so dependants are not rebuilt at every configure.
function(_cryptelle_write_if_changed path text)
  file(WRITE ${path}.new "${text}")
  configure_file(${path}.new ${path} COPYONLY)
  file(REMOVE ${path}.new)
endfunction()

function(_cryptelle_reg_file path rows install_dir)
  set(text "Windows Registry Editor Version 5.00\r\n")
  set(current_key "")
  foreach(row IN LISTS rows)
    _cryptelle_registration_fields("${row}")
    _cryptelle_registration_fill("${data}" "${install_dir}" "${install_dir}\\" data)
    string(REPLACE "\\" "\\\\" data "${data}")
    string(REPLACE "\"" "\\\"" data "${data}")
    if(NOT "${root}\\${key}" STREQUAL current_key)
      set(current_key "${root}\\${key}")
      string(APPEND text "\r\n[${current_key}]\r\n")
    endif()
    if(name STREQUAL "@")
      string(APPEND text "@=\"${data}\"\r\n")
    else()
      string(APPEND text "\"${name}\"=\"${data}\"\r\n")
    endif()
  endforeach()
  _cryptelle_write_if_changed(${path} "${text}")
endfunction()

# Brisa.reg, Lunet.reg and InstallPath.reg in out_dir, for an installation in install_dir
# (Windows form, no trailing separator).
function(cryptelle_shell_registration out_dir install_dir)
  foreach(library Brisa Lunet)
    _cryptelle_registration_rows(extension ${library} rows)
    _cryptelle_reg_file(${out_dir}/${library}.reg "${rows}" "${install_dir}")
  endforeach()
  _cryptelle_registration_rows(suite "" rows)
  _cryptelle_reg_file(${out_dir}/InstallPath.reg "${rows}" "${install_dir}")
endfunction()

function(_cryptelle_xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One component of registry values; its first value is the key path.
function(_cryptelle_wix_component id rows dir dir_prefix out)
  # Component codes must stay the same from one build to the next: derived from the name.
  string(UUID guid NAMESPACE 6F1C1D53-52A4-4E4B-9D0B-8C1E2A7F3B60 NAME "${id}" TYPE SHA1 UPPER)
  set(text "      <Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"yes\">\n")
  set(key_path " KeyPath=\"yes\"")
  foreach(row IN LISTS rows)
    _cryptelle_registration_fields("${row}")
    string(REGEX REPLACE "^HKEY_CLASSES_ROOT$" "HKCR" root "${root}")
    string(REGEX REPLACE "^HKEY_LOCAL_MACHINE$" "HKLM" root "${root}")
    string(REGEX REPLACE "^HKEY_CURRENT_USER$" "HKCU" root "${root}")
    _cryptelle_registration_fill("${data}" "${dir}" "${dir_prefix}" data)
    _cryptelle_xml_escape("${key}" key)
    _cryptelle_xml_escape("${data}" data)
    set(name_attribute "")
    if(NOT name STREQUAL "@")
      _cryptelle_xml_escape("${name}" name)
      set(name_attribute " Name=\"${name}\"")
    endif()
    string(APPEND text "        <RegistryValue Root=\"${root}\" Key=\"${key}\"${name_attribute} Type=\"string\""
                       " Value=\"${data}\"${key_path}/>\n")
    set(key_path "")
  endforeach()
  string(APPEND text "      </Component>\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A WiX fragment with the component group "ShellRegistration" in the directory directory_id.
# dir and dir_prefix are the installer's formatted texts for the folder without and with its
# trailing separator.
function(cryptelle_shell_registration_wix path directory_id dir dir_prefix)
  set(components "")
  set(refs "")
  foreach(id BrisaRegistration LunetRegistration SuiteRegistration)
    string(REGEX REPLACE "Registration$" "" library ${id})
    if(library STREQUAL "Suite")
      _cryptelle_registration_rows(suite "" rows)
    else()
      _cryptelle_registration_rows(extension ${library} rows)
    endif()
    _cryptelle_wix_component(${id} "${rows}" "${dir}" "${dir_prefix}" component)
    string(APPEND components "${component}")
    string(APPEND refs "      <ComponentRef Id=\"${id}\"/>\n")
  endforeach()
  _cryptelle_write_if_changed(${path} "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<!-- Generated from the shell extensions' registration table; do not edit. -->
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Fragment>
    <DirectoryRef Id=\"${directory_id}\">
${components}    </DirectoryRef>
    <ComponentGroup Id=\"ShellRegistration\">
${refs}    </ComponentGroup>
  </Fragment>
</Wix>
")
endfunction()
