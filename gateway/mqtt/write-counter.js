"use strict";
// Write requests ignored because writes are off: counted, and told on standard error the
// first time and then at most once a minute.
const REPORT_MS = 60000;

class WriteCounter {
    constructor(log) {
        this.log = log;
        this.total = 0;
        this.reported = 0;
        this.timer = null;
    }

    count(where) {
        this.total++;
        if (this.total === 1) {
            this.log(`ignored a write request on ${where}: writes are off (--allow-writes turns them on)`);
            this.reported = 1;
        } else if (!this.timer) {
            this.timer = setTimeout(() => {
                this.timer = null;
                if (this.total !== this.reported) this.log(`${this.total} write requests ignored so far (writes are off)`);
                this.reported = this.total;
            }, REPORT_MS);
            this.timer.unref();
        }
    }
}

module.exports = { WriteCounter };
