// The page's side of the web platform files (platform/web/*.cpp), for
// Emscripten's --js-library.
mergeInto(LibraryManager.library, {
  fb_page_path__proxy: 'sync',
  fb_page_path__sig: 'i',
  fb_page_path: function() {
    if (typeof location === 'undefined' || !location.pathname) return 0;
    var path;
    try {
      path = decodeURIComponent(location.pathname);
    } catch (e) {
      path = location.pathname;
    }
    return allocateUTF8(path);
  },
});
