// 我的文件 under /files/... and 课堂资源 under /public/...: the rest of the address is the folder
// shown, so reload and back work. Changes (upload, new folder, rename, delete) only in the own
// folder; the public folder is browsed and downloaded only.
import { element, getJson, postForm, showMessage, startSession, csrfToken, kCsrfHeader, parseAnswer } from "/assets/portal.js";

const area = location.pathname === "/public" || location.pathname.startsWith("/public/") ? "public" : "own";
const prefix = area === "own" ? "/files/" : "/public/";
const writable = area === "own";

const crumbs = document.getElementById("crumbs");
const entries = document.getElementById("entries");
const message = document.getElementById("message");
const uploads = document.getElementById("uploads");
const fileInput = document.getElementById("file-input");

// The folder's levels from the address; null when the address cannot be decoded.
function levelsFromAddress() {
  try {
    return location.pathname
      .slice(prefix.length)
      .split("/")
      .filter((level) => level !== "")
      .map(decodeURIComponent);
  } catch {
    return null;
  }
}

const levels = levelsFromAddress() ?? [];
const folder = levels.join("/");

function folderAddress(parts) {
  return prefix + parts.map((part) => encodeURIComponent(part) + "/").join("");
}

function childPath(name) {
  return folder ? `${folder}/${name}` : name;
}

function query(fields) {
  return new URLSearchParams(fields).toString();
}

function downloadAddress(name) {
  return `/api/download?${query({ area, path: childPath(name) })}`;
}

function zipAddress(path) {
  return `/api/zip?${query({ area, path })}`;
}

// Sizes as people read them: 1023 B, 1.5 KB, 12 MB.
function humanSize(bytes) {
  if (bytes < 1024) return `${bytes} B`;
  const units = ["KB", "MB", "GB", "TB"];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return `${value < 10 ? value.toFixed(1) : Math.round(value)} ${units[unit]}`;
}

function showCrumbs(rootName) {
  const parts = [rootName, ...levels];
  parts.forEach((part, index) => {
    if (index > 0) crumbs.append(element("span", "sep", "›"));
    if (index === parts.length - 1) {
      crumbs.append(element("span", "here", part));
    } else {
      const link = element("a", "", part);
      link.href = folderAddress(levels.slice(0, index));
      crumbs.append(link);
    }
  });
  document.title = `${levels.at(-1) ?? rootName} · 学生文件`;
}

// --- the in-page question: a confirmation or a name ---------------------------------------

const ask = document.getElementById("ask");
const askInput = document.getElementById("ask-input");

// Resolves to the typed name (or true for a plain confirmation), or null when cancelled.
function askUser({ title, text = "", value = null, okText = "确定", danger = false }) {
  document.getElementById("ask-title").textContent = title;
  document.getElementById("ask-text").textContent = text;
  const ok = document.getElementById("ask-ok");
  ok.textContent = okText;
  ok.classList.toggle("danger", danger);
  askInput.hidden = value === null;
  askInput.value = value ?? "";
  return new Promise((resolve) => {
    const finish = (answer) => {
      ask.removeEventListener("close", onClose);
      document.getElementById("ask-form").removeEventListener("submit", onSubmit);
      document.getElementById("ask-cancel").removeEventListener("click", onCancel);
      if (ask.open) ask.close();
      resolve(answer);
    };
    const onSubmit = (event) => {
      event.preventDefault();
      if (value === null) return finish(true);
      const name = askInput.value.trim();
      if (name) finish(name);
    };
    const onCancel = () => finish(null);
    const onClose = () => finish(null);
    ask.addEventListener("close", onClose);
    document.getElementById("ask-form").addEventListener("submit", onSubmit);
    document.getElementById("ask-cancel").addEventListener("click", onCancel);
    ask.showModal();
    if (value !== null) {
      askInput.focus();
      askInput.select();
    }
  });
}

// --- the listing ------------------------------------------------------------------------

async function refresh() {
  const answer = await getJson(`/api/list?${query({ area, path: folder })}`);
  entries.replaceChildren();
  if (!answer.ok) {
    showMessage(message, answer.data.error);
    const row = element("tr");
    const cell = element("td", "empty");
    cell.colSpan = 4;
    const back = element("a", "", "回到最上层");
    back.href = prefix;
    cell.append(back);
    row.append(cell);
    entries.append(row);
    return;
  }
  if (answer.data.entries.length === 0) {
    const row = element("tr");
    const cell = element("td", "empty", writable ? "这个文件夹是空的。可以把文件拖到上面上传。" : "这个文件夹是空的。");
    cell.colSpan = 4;
    row.append(cell);
    entries.append(row);
  }
  for (const entry of answer.data.entries) entries.append(entryRow(entry));
}

function entryRow(entry) {
  const row = element("tr");
  row.dataset.name = entry.name;
  const nameCell = element("td", "name");
  const link = element("a", "", entry.name);
  link.href = entry.folder ? folderAddress([...levels, entry.name]) : downloadAddress(entry.name);
  nameCell.append(element("span", `kind ${entry.folder ? "folder" : "file"}`), link);

  const actions = element("td", "actions");
  const download = element("a", "button link", entry.folder ? "打包下载" : "下载");
  download.href = entry.folder ? zipAddress(childPath(entry.name)) : downloadAddress(entry.name);
  actions.append(download);
  if (writable) {
    actions.append(actionButton("重命名", "", () => rename(entry)), actionButton("删除", "danger", () => remove(entry)));
  }
  row.append(
    nameCell,
    element("td", "size", entry.folder ? "" : humanSize(entry.size)),
    element("td", "time", entry.modified),
    actions,
  );
  return row;
}

function actionButton(text, className, handler) {
  const button = element("button", `link ${className}`.trim(), text);
  button.type = "button";
  button.addEventListener("click", handler);
  return button;
}

// Sends a change, shows its result and lists the folder again.
async function change(url, fields, doneText) {
  const answer = await postForm(url, fields);
  showMessage(message, answer.ok ? doneText : answer.data.error, !answer.ok);
  await refresh();
}

async function makeFolder() {
  const name = await askUser({ title: "新建文件夹", text: "新文件夹的名称：", value: "" });
  if (name) await change("/api/mkdir", { path: folder, name }, `已新建文件夹“${name}”。`);
}

async function rename(entry) {
  const to = await askUser({ title: "重命名", text: `把“${entry.name}”改名为：`, value: entry.name });
  if (to && to !== entry.name) await change("/api/rename", { path: folder, from: entry.name, to }, `已改名为“${to}”。`);
}

async function remove(entry) {
  const what = entry.folder ? "文件夹" : "文件";
  const sure = await askUser({
    title: `删除${what}`,
    text: `确定要删除${what}“${entry.name}”吗？删除后无法恢复。`,
    okText: "删除",
    danger: true,
  });
  if (sure) await change("/api/delete", { path: folder, name: entry.name }, `已删除“${entry.name}”。`);
}

// --- uploads: one at a time, each with its own bar ----------------------------------------

let queue = Promise.resolve();

function uploadAll(files) {
  for (const file of files) {
    const item = uploadItem(file.name);
    queue = queue.then(() => upload(file, item)).then(refresh);
  }
}

function uploadItem(name) {
  const item = element("li");
  const bar = element("progress");
  bar.max = 100;
  bar.value = 0;
  item.append(element("span", "name", name), bar, element("span", "state", "等待上传"));
  item.title = name;
  uploads.append(item);
  return item;
}

function finishItem(item, error) {
  item.querySelector("progress").value = 100;
  item.classList.add(error ? "failed" : "done");
  item.querySelector(".state").textContent = error || "完成";
}

function upload(file, item) {
  if (file.isFolder) return finishItem(item, "不能上传文件夹");
  const bar = item.querySelector("progress");
  const state = item.querySelector(".state");
  return new Promise((resolve) => {
    const xhr = new XMLHttpRequest();
    xhr.open("POST", `/api/upload?${query({ path: folder, name: file.name })}`);
    xhr.setRequestHeader(kCsrfHeader, csrfToken());
    xhr.setRequestHeader("Content-Type", "application/octet-stream");
    xhr.upload.addEventListener("progress", (event) => {
      if (!event.lengthComputable || event.total === 0) return;
      bar.value = Math.min(99, (event.loaded / event.total) * 100);
      state.textContent = `${Math.floor(bar.value)}%`;
    });
    xhr.addEventListener("load", async () => {
      const answer = await parseAnswer(xhr.status, xhr.responseText);
      finishItem(item, answer.ok ? "" : answer.data.error);
      resolve();
    });
    xhr.addEventListener("error", () => {
      finishItem(item, "上传中断，请重试");
      resolve();
    });
    state.textContent = "0%";
    xhr.send(file);
  });
}

// Files dropped anywhere on the page; a dropped folder cannot be sent and says so.
function droppedFiles(transfer) {
  const files = [];
  const items = [...(transfer.items ?? [])];
  [...transfer.files].forEach((file, index) => {
    const entry = items[index]?.webkitGetAsEntry?.();
    if (entry?.isDirectory) files.push({ name: file.name, isFolder: true });
    else files.push(file);
  });
  return files;
}

function acceptDrops() {
  const carriesFiles = (event) => [...(event.dataTransfer?.types ?? [])].includes("Files");
  document.addEventListener("dragover", (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = "copy";
    document.body.classList.add("dragging");
  });
  document.addEventListener("dragleave", (event) => {
    if (event.relatedTarget === null) document.body.classList.remove("dragging");
  });
  document.addEventListener("drop", (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    document.body.classList.remove("dragging");
    uploadAll(droppedFiles(event.dataTransfer));
  });
}

// --- start ----------------------------------------------------------------------------------

async function start() {
  await startSession(prefix);
  showCrumbs(area === "own" ? "我的文件" : "课堂资源");
  const zip = document.getElementById("zip");
  zip.href = zipAddress(folder);
  zip.hidden = false;
  if (writable) {
    const uploadButton = document.getElementById("upload");
    uploadButton.hidden = false;
    uploadButton.addEventListener("click", () => fileInput.click());
    fileInput.addEventListener("change", () => {
      uploadAll([...fileInput.files]);
      fileInput.value = "";
    });
    const mkdir = document.getElementById("mkdir");
    mkdir.hidden = false;
    mkdir.addEventListener("click", makeFolder);
    document.getElementById("dropzone").hidden = false;
    acceptDrops();
  }
  if (levelsFromAddress() === null) {
    showMessage(message, "地址有误，找不到这个文件夹。");
    return;
  }
  await refresh();
}

start();
