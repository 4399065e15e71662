# The engine is plain C++: no Qt, and no system call of its own. It reaches the disk only through
# the folder seam (engine/folder.h), so no header that opens files, folders, processes or signals
# belongs in it. <cerrno> stays allowed: the engine names errno values, it makes no call that sets one.
set(qt "#include *<Q|find_package\\(Qt|Qt6::")
set(posix "#include *<(unistd|fcntl|dirent|dlfcn|poll|pthread|signal|spawn|pwd|grp|termios|sched|semaphore|mqueue|netdb|syslog|glob|ftw|fnmatch|utime|mntent|stdio)\\.h>")
set(system_dirs "#include *<(sys|linux|asm|asm-generic|arpa|netinet|net|blkid|libmount)/")
set(cxx "#include *<(filesystem|fstream|cstdio|csignal|thread)>")
file(GLOB_RECURSE files ${DIR}/*.h ${DIR}/*.cpp ${DIR}/CMakeLists.txt)
foreach(f ${files})
  file(STRINGS ${f} hits REGEX "${qt}")
  if(hits)
    message(FATAL_ERROR "${f} pulls in Qt: ${hits}")
  endif()
  file(STRINGS ${f} hits REGEX "${posix}|${system_dirs}|${cxx}")
  if(hits)
    message(FATAL_ERROR "${f} pulls in a system interface, which belongs in platform/: ${hits}")
  endif()
endforeach()
