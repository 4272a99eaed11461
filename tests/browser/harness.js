// A scratch classroom for the browser tests: a database made with orvo-admin (a class whose lesson
// is now, one whose lesson is another day, students with their passwords, a file in the public
// folder), the headless service on free ports, and Debian's Chromium. The programs come from the
// build tree named by ORVO_BIN_DIR.
import { execFileSync, spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import readline from "node:readline";
import { chromium } from "playwright-core";

export const kLessonClass = "初二（3）班";
export const kOtherClass = "初二（4）班";

const kChromium = "/usr/bin/chromium";
const kStartSeconds = 20;

function binDir() {
  const dir = process.env.ORVO_BIN_DIR;
  if (!dir) throw new Error("ORVO_BIN_DIR must name the folder of orvo-serverd and orvo-admin");
  return dir;
}

// Runs orvo-admin on the scratch database; its output, or an error with what it said.
function admin(dbDir, ...args) {
  return execFileSync(path.join(binDir(), "orvo-admin"), ["--dir", dbDir, ...args], { encoding: "utf8" });
}

// Weekday as the timetable numbers it: 1 = Monday ... 7 = Sunday.
function timetableWeekday(date) {
  return ((date.getDay() + 6) % 7) + 1;
}

// login id and password of each student of a class, by name.
function accounts(dbDir, className) {
  const byName = {};
  for (const line of admin(dbDir, "student", "list", className).split("\n")) {
    const [, , name, id, password] = line.split("\t");
    if (name) byName[name] = { class: className, name, id, password };
  }
  return byName;
}

export class Classroom {
  // Makes the database and folders and starts the service; stop() undoes all of it.
  static async start({ lessonStudents, otherStudents }) {
    const room = new Classroom();
    room.dir = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-browser-"));
    try {
      room.#prepare(lessonStudents, otherStudents);
      await room.#startService();
    } catch (error) {
      await room.stop();
      throw error;
    }
    return room;
  }

  #prepare(lessonStudents, otherStudents) {
    this.root = path.join(this.dir, "root");
    this.publicDir = path.join(this.dir, "public");
    fs.mkdirSync(this.root);
    fs.mkdirSync(this.publicDir);
    admin(this.dir, "init");
    admin(this.dir, "settings", "set", "--root", this.root, "--public", this.publicDir, "--class-list", "on");
    admin(this.dir, "class", "add", kLessonClass);
    admin(this.dir, "class", "add", kOtherClass);
    admin(this.dir, "student", "add", kLessonClass, ...lessonStudents);
    admin(this.dir, "student", "add", kOtherClass, ...otherStudents);
    // The whole of today for one class, an hour three days away for the other: neither ends
    // during a run, nor does the other's grace time reach today.
    const today = new Date();
    const otherDay = new Date(today.getTime() + 3 * 24 * 3600 * 1000);
    admin(this.dir, "timetable", "add", String(timetableWeekday(today)), "00:00", "23:59", kLessonClass);
    admin(this.dir, "timetable", "add", String(timetableWeekday(otherDay)), "08:00", "08:45", kOtherClass);
    this.students = { ...accounts(this.dir, kLessonClass), ...accounts(this.dir, kOtherClass) };
  }

  async #startService() {
    this.service = spawn(
      path.join(binDir(), "orvo-serverd"),
      ["--dir", this.dir, "--port", "0", "--http-port", "0"],
      { stdio: ["ignore", "pipe", "pipe"] },
    );
    this.serviceErrors = "";
    this.service.stderr.setEncoding("utf8").on("data", (text) => (this.serviceErrors += text));
    this.exited = new Promise((resolve) => this.service.once("exit", resolve));
    // Whatever ends the test run, the service ends with it.
    process.once("exit", () => this.service.kill("SIGKILL"));
    const lines = readline.createInterface({ input: this.service.stdout });
    const port = await new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`no web port within ${kStartSeconds} s`)), kStartSeconds * 1000);
      lines.on("line", (line) => {
        const match = /^orvo-serverd: web on port (\d+)$/.exec(line);
        if (match) {
          clearTimeout(timer);
          resolve(Number(match[1]));
        }
      });
      this.exited.then((code) => {
        clearTimeout(timer);
        reject(new Error(`orvo-serverd ended (${code}) before its web port: ${this.serviceErrors}`));
      });
    });
    this.port = port;
    this.base = this.baseAt("127.0.0.1");
  }

  // The portal's address on another loopback address, which the service sees as another PC.
  baseAt(host) {
    return `http://${host}:${this.port}`;
  }

  // The student's own folder on disk.
  folderOf(student) {
    return path.join(this.root, student.class, student.name);
  }

  async stop() {
    if (this.service && this.service.exitCode === null && this.service.signalCode === null) {
      this.service.kill("SIGTERM");
      const killer = setTimeout(() => this.service.kill("SIGKILL"), 10_000);
      await this.exited;
      clearTimeout(killer);
    }
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// Headless Chromium; Playwright gives it a fresh user-data dir of its own. The flags keep it
// from reaching out to the network, which this machine does not have.
export function launchBrowser() {
  return chromium.launch({
    executablePath: kChromium,
    headless: true,
    args: [
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
    ],
  });
}
