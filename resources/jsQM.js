// Reports the page on display: the viewer's page number, the page image as a data URL and the
// size the viewer shows it at. The image is the file the browser loaded for the page, read
// again through the browser, so its cache and the reader's session serve it; a copy drawn on
// a canvas when that file cannot be had or is no JPEG or PNG. An image of another origin is
// reported by its address alone ("src", source "browser"): the program has the browser itself
// download it.
// Reading the file takes a moment: the script says "###pending=<n>" at once, then prints
// "###page@<n>=" with the report and "###end@<n>", the end also when there is no report.
// When the page's image did not load, it asks the site once what became of it and prints
// "###fault@<n>=" with the answer's status and Retry-After, or the error of the request, or
// "damaged" when the site answered with a file no decoder reads; if the image comes now, that
// file is the report. It does not ask when QMprobe is false (the
// program knows why already, and a failing site gets one request per try, the viewer's).
(function () {
    var script = typeof QMscript === "number" ? QMscript : 0;
    var probe = typeof QMprobe === "undefined" || QMprobe;

    // A PNG copy of what the image element shows; throws when the canvas is tainted (an image
    // of another origin that does not allow it).
    function canvasCopy(img) {
        var canvas = document.createElement("canvas");
        canvas.width = img.naturalWidth;
        canvas.height = img.naturalHeight;
        canvas.getContext("2d").drawImage(img, 0, 0);
        return canvas.toDataURL("image/png");
    }

    // The name of an image format the program cannot read, by the file's first bytes; empty
    // for JPEG and PNG, and for anything that is no known image (the program turns it down).
    function otherFormat(b) {
        function text(at, s) {
            for (var i = 0; i < s.length; ++i)
                if (b[at + i] !== s.charCodeAt(i)) return false;
            return true;
        }
        if (text(0, "RIFF") && text(8, "WEBP")) return "WebP";
        if (text(4, "ftypavif") || text(4, "ftypavis")) return "AVIF";
        if (text(0, "GIF8")) return "GIF";
        if (text(0, "BM")) return "BMP";
        if (text(0, "II*\0") || text(0, "MM\0*")) return "TIFF";
        if (text(4, "jP  ")) return "JPEG 2000";
        if (text(4, "ftypheic") || text(4, "ftypheix") || text(4, "ftypmif1")) return "HEIF";
        if (text(0, "\xFF\x0A")) return "JPEG XL";
        return "";
    }

    // The name of the file's format when the program cannot read it; see otherFormat.
    async function formatOf(blob) {
        return otherFormat(new Uint8Array(await blob.slice(0, 16).arrayBuffer()));
    }

    // What an answer that is no page image says: its status and the wait the site asks for.
    function siteFault(response) {
        return {status: response.status, retryAfter: response.headers.get("Retry-After") || ""};
    }

    function dataUrl(blob) {
        return new Promise(function (resolve, reject) {
            var reader = new FileReader();
            reader.onload = function () { resolve(reader.result); };
            reader.onerror = function () { reject(reader.error); };
            reader.readAsDataURL(blob);
        });
    }

    function sameOrigin(src) {
        try {
            return new URL(src, location.href).origin === location.origin;
        } catch (e) {
            return false;
        }
    }

    async function pageImage(img, src) {
        var why;
        if (/^data:/i.test(src)) {
            why = "data: address";
        } else if (/^blob:/i.test(src)) {
            why = "blob: address";
        } else if (!sameOrigin(src)) {
            // Another origin lets this page read its file only when it says so (CORS), and a
            // request to learn whether it does costs the site one: the browser itself, which
            // may, downloads it instead.
            return {src: new URL(src, location.href).href, source: "browser"};
        } else {
            var response = null;
            try {
                response = await fetch(src, {cache: "force-cache", credentials: "include"});
            } catch (e) {
                why = "file not readable";
            }
            if (response) {
                // An error page is no page image: the capture fails and is tried again.
                if (!response.ok)
                    throw siteFault(response);
                var blob = await response.blob();
                why = await formatOf(blob);
                if (!why)
                    return {img: await dataUrl(blob), source: "site"};
            }
        }
        return {img: canvasCopy(img), source: "canvas", why: why};
    }

    var total = QM.params.totalSeq;
    var currpage = document.querySelector('input[name="seq"]').value;
    var img = document.querySelector('figure[tabindex="0"]').querySelector("img");
    var src = img.currentSrc || img.src;
    var width = img.naturalWidth, height = img.naturalHeight;
    console.debug("###pending=" + script);

    // The image element failed (it is complete but has no picture): one request tells why,
    // and brings the image when the site has it again.
    async function failedImage() {
        var response;
        try {
            response = await fetch(src, {cache: "no-store", credentials: "include"});
        } catch (e) {
            throw {error: "no connection"};
        }
        if (!response.ok)
            throw siteFault(response);
        var blob = await response.blob();
        if (await formatOf(blob))
            throw {error: "no picture"};
        // Its size as the viewer shows it, EXIF orientation applied; a file no decoder reads
        // is damaged as the site sends it.
        var probe = new Image(), url = URL.createObjectURL(blob);
        try {
            probe.src = url;
            try {
                await probe.decode();
            } catch (e) {
                throw {status: response.status, damaged: true};
            }
            width = probe.naturalWidth;
            height = probe.naturalHeight;
        } finally {
            URL.revokeObjectURL(url);
        }
        return {img: await dataUrl(blob), source: "site"};
    }

    (async function () {
        var page;
        if (img.complete && (!width || !height) && src && !/^(data|blob):/i.test(src) && probe)
            page = await failedImage();
        else if (!img.complete || !width || !height)
            return; // no picture on display yet
        else
            page = await pageImage(img, src);
        var report = {total: total, currpage: currpage, naturalWidth: width, naturalHeight: height, source: page.source};
        if (page.img)
            report.img = page.img;
        if (page.src)
            report.src = page.src;
        if (page.why)
            report.why = page.why;
        console.debug("###page@" + script + "=" + JSON.stringify(report));
    })().catch(function (e) {
        if (e && (e.status || e.error || e.damaged))
            console.debug("###fault@" + script + "=" + JSON.stringify(e));
    }).finally(function () {
        console.debug("###end@" + script);
    });
})();
