// Shared by the portal's pages: calls to the JSON interface with the session's token against
// cross-site requests, and the bar on top of every page after sign-in.

export const kCsrfHeader = "X-Orvo-Csrf";

// The session's token for POSTs; the login itself needs only a non-empty value, which a
// cross-site form cannot send.
let csrf = "login";

export function csrfToken() {
  return csrf;
}

// Goes to the sign-in page; what follows in the caller never runs.
export function toLogin() {
  location.replace("/login");
  return new Promise(() => {});
}

// The answer of the JSON interface as { ok, status, data }; data.error always holds a text to
// show when ok is false. A lost session leads to the sign-in page.
export async function parseAnswer(status, text) {
  let data = {};
  try {
    data = text ? JSON.parse(text) : {};
  } catch {
    data = {};
  }
  if (status === 401 && data.code === "no_session") await toLogin();
  const ok = status >= 200 && status < 300;
  if (!ok && typeof data.error !== "string") {
    data.error = status === 0 ? "无法连接服务器，请检查网络后再试。" : `服务器出错（${status}），请稍后再试。`;
  }
  return { ok, status, data };
}

async function send(url, init) {
  let response;
  try {
    response = await fetch(url, { credentials: "same-origin", cache: "no-store", ...init });
  } catch {
    return parseAnswer(0, "");
  }
  return parseAnswer(response.status, await response.text());
}

export function getJson(url) {
  return send(url, {});
}

// A form-encoded POST of the given fields.
export function postForm(url, fields = {}) {
  return send(url, {
    method: "POST",
    headers: { [kCsrfHeader]: csrf },
    body: new URLSearchParams(fields),
  });
}

// Looks up the session (or goes to the sign-in page), keeps its token and puts the navigation
// on top of the page with the student's name and class. `current` is the href of this page's
// entry in the navigation.
export async function startSession(current) {
  const me = await getJson("/api/me");
  if (!me.ok) return toLogin();
  csrf = me.data.csrf;
  document.body.prepend(topBar(me.data, current));
  return me.data;
}

function topBar(me, current) {
  const bar = element("header", "topbar");
  const brand = element("div", "brand");
  const icon = element("img");
  icon.src = "/assets/icon.svg";
  icon.alt = "";
  brand.append(icon, "学生文件");

  const nav = element("nav");
  for (const [href, text] of [
    ["/files/", "我的文件"],
    ["/public/", "课堂资源"],
    ["/password", "修改密码"],
  ]) {
    const link = element("a", href === current ? "current" : "", text);
    link.href = href;
    nav.append(link);
  }
  const logout = element("button", "", "退出");
  logout.type = "button";
  logout.id = "logout";
  logout.addEventListener("click", async () => {
    logout.disabled = true;
    await postForm("/api/logout");
    location.assign("/login");
  });
  nav.append(logout);

  const who = element("div", "who", `${me.name} · ${me.class}`);
  who.id = "who";
  bar.append(brand, nav, who);
  return bar;
}

// A new element with a class and text, both optional.
export function element(tag, className = "", text = "") {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text) node.textContent = text;
  return node;
}

// Shows a result under a form: an error in red, a success in green, nothing for "".
export function showMessage(node, text, isError = true) {
  node.textContent = text;
  node.classList.toggle("error", isError);
  node.classList.toggle("ok", !isError);
}
