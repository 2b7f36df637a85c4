# The asset tool's tests run the built tool: pass its path when it is built.
if(SPANWRIGHT_BUILD_TOOLS)
  find_package(PNG QUIET)
  if(PNG_FOUND)
    target_compile_definitions(test_imagefile PRIVATE
      SW_ASSET_TOOL="$<TARGET_FILE:spanwright-asset>")
    add_dependencies(test_imagefile spanwright-asset)
  endif()
endif()
# The script that writes the art files of the interoperability tests.
target_compile_definitions(test_imagefile PRIVATE SW_ART_FILES="${CMAKE_CURRENT_LIST_DIR}/art_files.py")
