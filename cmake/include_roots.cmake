# SPDX-License-Identifier: GPL-3.0-or-later
# Include roots built of links in the build tree, so that a target sees exactly the
# headers it may include. For a folder of sources known to the code as PREFIX
# ("host/render"), the public root holds PREFIX/*.h and the private root the whole
# folder, detail/ included.
function(zelvane_include_root prefix folder public_var private_var)
  string(REPLACE "/" "_" id ${prefix})
  set(public ${CMAKE_BINARY_DIR}/include/${id}/public)
  set(private ${CMAKE_BINARY_DIR}/include/${id}/private)
  file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)
  file(REMOVE_RECURSE ${public} ${private})
  file(MAKE_DIRECTORY ${public}/${prefix})
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${public}/${prefix}/${name} SYMBOLIC)
  endforeach()
  get_filename_component(parent ${private}/${prefix} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${folder} ${private}/${prefix} SYMBOLIC)
  set(${public_var} ${public} PARENT_SCOPE)
  set(${private_var} ${private} PARENT_SCOPE)
endfunction()

# A root that exposes a whole folder (the command, the GUI) under its name.
function(zelvane_folder_root prefix folder root_var)
  string(REPLACE "/" "_" id ${prefix})
  set(root ${CMAKE_BINARY_DIR}/include/${id}/all)
  file(REMOVE_RECURSE ${root})
  get_filename_component(parent ${root}/${prefix} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${folder} ${root}/${prefix} SYMBOLIC)
  set(${root_var} ${root} PARENT_SCOPE)
endfunction()
