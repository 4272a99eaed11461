// The portal in a real browser against the real service: sign-in inside and outside the lesson,
// uploads with their progress bars, downloads byte for byte, folder changes, and the safety rules
// a student could test from the address bar or another site.
import assert from "node:assert/strict";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { after, before, test } from "node:test";

import { Classroom, kLessonClass, launchBrowser } from "./harness.js";

let room;
let browser;

before(async () => {
  room = await Classroom.start({
    lessonStudents: ["李明", "王芳", "陈思远", "张子涵", "刘雨桐", "周可馨"],
    otherStudents: ["赵强"],
  });
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  await room?.stop();
});

async function newPage() {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, acceptDownloads: true });
  context.setDefaultTimeout(15_000);
  return context.newPage();
}

// Fills the sign-in form and answers the service's answer to it.
async function submitLogin(page, student, password = student.password) {
  await page.goto(`${student.base ?? room.base}/login`);
  await page.locator("select#class").selectOption(student.class);
  await page.fill("#login-id", student.id);
  await page.fill("#password", password);
  const [answer] = await Promise.all([
    page.waitForResponse((response) => response.url().endsWith("/api/login")),
    page.click("button[type=submit]"),
  ]);
  return answer;
}

async function logIn(page, student) {
  const answer = await submitLogin(page, student);
  assert.equal(answer.status(), 200, `${student.name} was refused`);
  await page.waitForURL("**/files/");
  await page.waitForSelector("#entries tr");
}

function row(page, name) {
  return page.locator("#entries tr").filter({ has: page.locator(`td.name a:text-is("${name}")`) });
}

async function downloadBytes(page, click) {
  const [download] = await Promise.all([page.waitForEvent("download"), click()]);
  return { bytes: fs.readFileSync(await download.path()), name: download.suggestedFilename() };
}

async function uploadByPicker(page, name, buffer) {
  await page.setInputFiles("#file-input", { name, mimeType: "application/octet-stream", buffer });
  const item = page.locator("#uploads li.done, #uploads li.failed").filter({ hasText: name });
  await item.waitFor();
  return item;
}

test("signs in during the lesson; outside it and with a wrong password the service's reason shows", async () => {
  const page = await newPage();
  for (const [student, password, status] of [
    [room.students["李明"], "not-the-password", 401],
    [room.students["赵强"], room.students["赵强"].password, 403],
  ]) {
    const answer = await submitLogin(page, student, password);
    assert.equal(answer.status(), status);
    const reason = (await answer.json()).error;
    assert.ok(reason, "the refusal carries a text");
    await page.locator("#message", { hasText: reason }).waitFor();
    assert.match(page.url(), /\/login$/);
  }

  await logIn(page, room.students["李明"]);
  assert.equal(await page.textContent("#who"), `李明 · ${kLessonClass}`);
  for (const link of ["我的文件", "课堂资源", "修改密码", "退出"]) {
    assert.equal(await page.locator(".topbar nav", { hasText: link }).count(), 1, link);
  }
  await page.context().close();
});

test("uploads a Chinese-named file by picker and by drop, bars finish, and downloads the same bytes", async () => {
  const page = await newPage();
  const student = room.students["李明"];
  await logIn(page, student);

  const name = "期中复习笔记（第一章）.txt";
  const bytes = crypto.randomBytes(3 * 1024 * 1024 + 17);
  const item = await uploadByPicker(page, name, bytes);
  assert.equal(await item.locator(".state").textContent(), "完成");
  assert.equal(await item.locator("progress").evaluate((bar) => bar.value), 100);
  assert.ok(bytes.equals(fs.readFileSync(path.join(room.folderOf(student), name))));

  await row(page, name).waitFor();
  const fetched = await downloadBytes(page, () => row(page, name).locator("a", { hasText: "下载" }).click());
  assert.equal(fetched.name, name);
  assert.ok(bytes.equals(fetched.bytes), "the download holds the uploaded bytes");

  const dropped = await page.evaluateHandle(() => {
    const transfer = new DataTransfer();
    transfer.items.add(new File(["拖进来的内容"], "拖放的作业.txt"));
    return transfer;
  });
  await page.dispatchEvent("#dropzone", "dragover", { dataTransfer: dropped });
  await page.dispatchEvent("#dropzone", "drop", { dataTransfer: dropped });
  await page.locator("#uploads li.done", { hasText: "拖放的作业.txt" }).waitFor();
  await row(page, "拖放的作业.txt").waitFor();
  assert.equal(fs.readFileSync(path.join(room.folderOf(student), "拖放的作业.txt"), "utf8"), "拖进来的内容");
  await page.context().close();
});

test("new folder, opening it by address, rename, zip, and delete after a confirmation naming it", async () => {
  const page = await newPage();
  const student = room.students["王芳"];
  const folder = room.folderOf(student);
  await logIn(page, student);

  await page.click("#mkdir");
  await page.fill("#ask-input", "第二单元");
  await page.click("#ask-ok");
  await row(page, "第二单元").waitFor();
  assert.ok(fs.statSync(path.join(folder, "第二单元")).isDirectory());

  // The address follows the folder, so a reload shows the same folder and back goes up.
  fs.writeFileSync(path.join(folder, "第二单元", "练习.txt"), "一二三");
  await row(page, "第二单元").locator("td.name a").click();
  await page.waitForURL(`**/files/${encodeURIComponent("第二单元")}/`);
  await row(page, "练习.txt").waitFor();
  await page.reload();
  await row(page, "练习.txt").waitFor();
  assert.equal(await page.locator("#crumbs .here").textContent(), "第二单元");
  await page.goBack();
  await row(page, "第二单元").waitFor();

  await row(page, "第二单元").locator("button", { hasText: "重命名" }).click();
  await page.fill("#ask-input", "第三单元");
  await page.click("#ask-ok");
  await row(page, "第三单元").waitFor();
  assert.equal(await row(page, "第二单元").count(), 0);
  assert.ok(fs.existsSync(path.join(folder, "第三单元", "练习.txt")));

  const zip = await downloadBytes(page, () => row(page, "第三单元").locator("a", { hasText: "打包下载" }).click());
  assert.equal(zip.bytes.subarray(0, 2).toString(), "PK");

  // Deleting asks first, naming the entry; cancelling keeps it.
  fs.rmSync(path.join(folder, "第三单元", "练习.txt"));
  await row(page, "第三单元").locator("button", { hasText: "删除" }).click();
  assert.match(await page.textContent("#ask-text"), /第三单元/);
  await page.click("#ask-cancel");
  assert.ok(fs.existsSync(path.join(folder, "第三单元")));
  await row(page, "第三单元").locator("button", { hasText: "删除" }).click();
  await page.click("#ask-ok");
  await row(page, "第三单元").waitFor({ state: "detached" });
  assert.ok(!fs.existsSync(path.join(folder, "第三单元")));
  await page.context().close();
});

test("a classmate's folder cannot be reached from the address bar or the interface", async () => {
  const page = await newPage();
  const secret = "王芳的秘密.txt";
  fs.writeFileSync(path.join(room.folderOf(room.students["王芳"]), secret), "不给别人看");
  await logIn(page, room.students["李明"]);

  for (const address of ["/files/../王芳/", "/files/..%2F王芳/", "/files/%2E%2E/王芳/", "/files/..%2F..%2F"]) {
    // An error status may show the browser's own error page; what counts is what is shown.
    await page.goto(room.base + address).catch(() => null);
    await page.waitForLoadState("networkidle");
    const shown = await page.locator("html").innerHTML();
    assert.ok(!shown.includes(secret), `${address} shows the classmate's file`);
  }
  for (const target of [
    `/api/download?area=own&path=${encodeURIComponent(`../王芳/${secret}`)}`,
    "/api/download?area=own&path=../..",
    "/api/list?area=own&path=..",
    `/api/list?area=own&path=${encodeURIComponent("../王芳")}`,
  ]) {
    const answer = await page.request.get(room.base + target);
    assert.equal(answer.status(), 400, target);
    assert.ok(!(await answer.text()).includes("不给别人看"), target);
  }
  await page.context().close();
});

test("a form posted from another site is refused and changes nothing", async () => {
  const page = await newPage();
  const student = room.students["李明"];
  await logIn(page, student);

  const form = `<!doctype html><meta charset="utf-8"><form method="post" action="${room.base}/api/mkdir">
    <input name="path" value=""><input name="name" value="跨站建的"><button>提交</button></form>`;
  const other = http.createServer((request, response) => {
    response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    response.end(form);
  });
  await new Promise((resolve) => other.listen(0, "127.0.0.2", resolve));
  try {
    await page.goto(`http://127.0.0.2:${other.address().port}/`);
    const [answer] = await Promise.all([
      page.waitForResponse((response) => response.url().endsWith("/api/mkdir")),
      page.click("button"),
    ]);
    assert.ok([401, 403].includes(answer.status()), `answered ${answer.status()}`);
  } finally {
    other.close();
  }
  assert.ok(!fs.existsSync(path.join(room.folderOf(student), "跨站建的")));
  await page.context().close();
});

test("an uploaded HTML page is downloaded, never shown", async () => {
  const page = await newPage();
  const name = "网页.html";
  await logIn(page, room.students["李明"]);
  const item = await uploadByPicker(page, name, Buffer.from("<!doctype html><h1>页面被打开了</h1>"));
  assert.equal(await item.locator(".state").textContent(), "完成");
  await row(page, name).waitFor();

  const listing = page.url();
  const clicked = await downloadBytes(page, () => row(page, name).locator("td.name a").click());
  assert.equal(clicked.name, name);
  assert.equal(page.url(), listing);

  // Typed into the address bar the same: a download, no page.
  const typed = await downloadBytes(page, () =>
    page.goto(`${room.base}/api/download?area=own&path=${encodeURIComponent(name)}`).catch(() => null),
  );
  assert.equal(typed.name, name);
  assert.ok(!(await page.content()).includes("页面被打开了"));
  await page.context().close();
});

test("the classroom resources are browsed and downloaded only", async () => {
  const page = await newPage();
  const bytes = Buffer.from("第一课讲义\n");
  fs.writeFileSync(path.join(room.publicDir, "讲义.txt"), bytes);
  await logIn(page, room.students["刘雨桐"]);
  await page.click(".topbar nav >> text=课堂资源");
  await page.waitForURL("**/public/");
  await row(page, "讲义.txt").waitFor();
  for (const control of ["#upload", "#mkdir", "#dropzone"]) assert.ok(await page.locator(control).isHidden(), control);
  assert.equal(await page.locator("#entries button").count(), 0, "no rename or delete");
  const fetched = await downloadBytes(page, () => row(page, "讲义.txt").locator("td.name a").click());
  assert.ok(bytes.equals(fetched.bytes));
  await page.context().close();
});

test("a new password typed twice differently is refused in the page; a matching one is taken", async () => {
  const page = await newPage();
  const student = room.students["陈思远"];
  await logIn(page, student);
  await page.click(".topbar nav >> text=修改密码");
  await page.waitForURL("**/password");

  let posted = 0;
  page.on("request", (request) => (posted += request.url().endsWith("/api/password") ? 1 : 0));
  await page.fill("#old", student.password);
  await page.fill("#new", "新密码123");
  await page.fill("#repeat", "新密码124");
  await page.click("button[type=submit]");
  await page.locator("#message.error").waitFor();
  assert.equal(posted, 0, "a mismatch never reaches the service");

  await page.fill("#repeat", "新密码123");
  await page.click("button[type=submit]");
  await page.locator("#message.ok").waitFor();
  await page.click("#logout");
  await page.waitForURL("**/login");
  await logIn(page, { ...student, password: "新密码123" });
  await page.context().close();
});

test("退出 ends the session: its cookie is then refused", async () => {
  const page = await newPage();
  await logIn(page, room.students["张子涵"]);
  const cookie = (await page.context().cookies()).find((c) => c.name === "orvo_session");
  assert.ok(cookie, "the session cookie is set");
  const me = () => fetch(`${room.base}/api/me`, { headers: { Cookie: `orvo_session=${cookie.value}` } });
  assert.equal((await me()).status, 200);

  await page.click("#logout");
  await page.waitForURL("**/login");
  assert.equal((await me()).status, 401);
  await page.goto(`${room.base}/files/`);
  await page.waitForURL("**/login");
  await page.context().close();
});

// The README's pictures at a PC's width, saved only when ORVO_SCREENSHOTS names the folder for
// them (scripts/screenshots gives docs/).
test("the README's pictures of the portal", { skip: !process.env.ORVO_SCREENSHOTS }, async () => {
  const out = path.resolve(process.env.ORVO_SCREENSHOTS);
  const student = room.students["周可馨"];
  const folder = room.folderOf(student);
  const file = (where, name, size) => fs.writeFileSync(path.join(where, name), Buffer.alloc(size, 0x20));
  fs.mkdirSync(path.join(folder, "实验照片"));
  file(path.join(folder, "实验照片"), "第一组.jpg", 1_843_200);
  file(folder, "作文草稿.docx", 24_576);
  file(folder, "数学作业（第五章）.pdf", 356_000);
  file(folder, "美术作品.png", 2_312_000);
  fs.mkdirSync(path.join(room.publicDir, "练习题"));
  file(path.join(room.publicDir, "练习题"), "第一套.pdf", 120_000);
  file(room.publicDir, "第三单元课件.pptx", 5_421_000);
  file(room.publicDir, "期末复习提纲.docx", 48_200);
  file(room.publicDir, "讲义.txt", 1_024);

  const page = await newPage();
  await page.goto(`${room.base}/login`);
  await page.locator("select#class").selectOption(student.class);
  await page.fill("#login-id", student.id);
  await page.fill("#password", student.password);
  await page.screenshot({ path: path.join(out, "web-login.png") });

  await logIn(page, student);
  await uploadByPicker(page, "科学实验报告.docx", Buffer.alloc(731_000, 0x20));
  await row(page, "科学实验报告.docx").waitFor();
  await page.screenshot({ path: path.join(out, "web-files.png") });

  await page.goto(`${room.base}/public/`);
  await row(page, "第三单元课件.pptx").waitFor();
  await page.screenshot({ path: path.join(out, "web-public.png") });
  await page.context().close();
});

// Last, from an address of its own: the block it starts would refuse that address's logins.
test("too many wrong passwords: the page says how many minutes to wait", async () => {
  const page = await newPage();
  const student = { ...room.students["王芳"], base: room.baseAt("127.0.0.3") };
  let answer;
  for (let attempt = 0; attempt < 10; attempt += 1) {
    answer = await submitLogin(page, student, "wrong");
    if (answer.status() === 429) break;
    assert.equal(answer.status(), 401);
  }
  assert.equal(answer.status(), 429);
  const { waitMinutes } = await answer.json();
  assert.ok(Number.isInteger(waitMinutes) && waitMinutes > 0);
  await page.locator("#message", { hasText: String(waitMinutes) }).waitFor();
  await page.context().close();
});
